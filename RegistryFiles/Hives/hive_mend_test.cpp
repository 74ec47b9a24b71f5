#include "RegistryFiles/Hives/hive_mend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

namespace platform {
namespace {

constexpr std::size_t kBin = 4096;

void Put(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

std::uint32_t Get(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

// A base block and one bin: the root key, then cells of the given sizes.
std::string Hive() {
  std::string bytes(2 * kBin, '\0');
  bytes.replace(0, 4, "regf");
  Put(bytes, 20, 1);
  Put(bytes, 36, 0x20);
  Put(bytes, 40, kBin);
  bytes.replace(kBin, 4, "hbin");
  Put(bytes, kBin + 8, kBin);
  Put(bytes, kBin + 32, 0u - 96);
  bytes.replace(kBin + 36, 2, "nk");
  bytes[kBin + 38] = 0x04;  // the root flag
  return bytes;
}

// The cell starts of the bin, as hivex walks them.
std::set<std::size_t> Chain(const std::string& bytes) {
  std::set<std::size_t> starts;
  for (std::size_t at = kBin + 32; at < 2 * kBin;) {
    const auto raw = static_cast<std::int32_t>(Get(bytes, at));
    const std::size_t size = raw < 0 ? 0u - static_cast<std::uint32_t>(raw) : raw;
    if (size < 8 || at + size > 2 * kBin) break;
    starts.insert(at);
    at += size;
  }
  return starts;
}

TEST(HiveMend, CellsResumeWhereTheMostCellsLeadToTheBinsEnd) {
  // After the root: a cell whose size lies, 32 bytes really, with garbage
  // inside that chains past the two cells after it; then those two, and a
  // free cell to the bin's end.
  std::string bytes = Hive();
  const std::size_t lying = kBin + 128, garbage = lying + 8, first = lying + 32;
  const std::size_t second = first + 16, last = second + 16;
  Put(bytes, lying, 0x80000008u);
  Put(bytes, garbage, static_cast<std::uint32_t>(last - garbage));
  Put(bytes, first, 0u - 16);
  Put(bytes, second, 0u - 16);
  Put(bytes, last, static_cast<std::uint32_t>(2 * kBin - last));
  ASSERT_TRUE(MendHive(bytes));
  const std::set<std::size_t> chain = Chain(bytes);
  EXPECT_EQ(chain, (std::set<std::size_t>{kBin + 32, lying, first, second, last}));
  EXPECT_EQ(Get(bytes, lying), 32u) << "the lying cell becomes free, up to the first cell";
  EXPECT_EQ(Get(bytes, garbage), 0u) << "its bytes are cleared";
}

}  // namespace
}  // namespace platform
