// Marvin32, the keyed hash that checks the entries of a new-format hive log.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// The seed of the hive logs' hashes. Published as the bytes 82 EF 4D 88 7A 4E
// 55 C5, most significant first: read little-endian, no log Windows wrote checks.
constexpr std::uint64_t kHiveLogMarvinSeed = 0x82EF4D887A4E55C5ull;

// The 64-bit result: high half s1, low half s0, as stored in a log entry.
std::uint64_t Marvin32(std::uint64_t seed, const unsigned char* data, std::size_t size);

}  // namespace platform
