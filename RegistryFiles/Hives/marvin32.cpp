#include "RegistryFiles/Hives/marvin32.h"

namespace platform {
namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline void Block(std::uint32_t& s0, std::uint32_t& s1) {
  s1 ^= s0;
  s0 = Rotl(s0, 20);
  s0 += s1;
  s1 = Rotl(s1, 9);
  s1 ^= s0;
  s0 = Rotl(s0, 27);
  s0 += s1;
  s1 = Rotl(s1, 19);
}

inline std::uint32_t Load32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::uint64_t Marvin32(std::uint64_t seed, const unsigned char* data, std::size_t size) {
  std::uint32_t s0 = static_cast<std::uint32_t>(seed);
  std::uint32_t s1 = static_cast<std::uint32_t>(seed >> 32);
  for (; size >= 4; size -= 4, data += 4) {
    s0 += Load32(data);
    Block(s0, s1);
  }
  // The tail, then a single 0x80 byte, padded with zeros to 32 bits.
  std::uint32_t last = 0x80u << (8 * size);
  for (std::size_t i = 0; i < size; ++i) last |= static_cast<std::uint32_t>(data[i]) << (8 * i);
  s0 += last;
  Block(s0, s1);
  Block(s0, s1);
  return (static_cast<std::uint64_t>(s1) << 32) | s0;
}

}  // namespace platform
