// A key's last-write time as /T and the export records write it: UTC,
// ISO 8601, to the 100 ns that the registry keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A FILETIME (100 ns units since 1601-01-01 UTC) as 2012-04-04T11:47:06.1234567Z.
// Years past 9999 (FILETIMEs from 0x00F7... up) take as many digits as they need.
std::string FormatKeyTime(std::uint64_t fileTime);

// The longest text FormatKeyTime gives (year 60056, the last FILETIME).
constexpr std::size_t kKeyTimeMaxSize = 29;
// Writes FormatKeyTime's text at `out`, without a NUL; its length.
std::size_t WriteKeyTime(std::uint64_t fileTime, char* out);

// The field of a line whose key does not exist: as wide as a time, and
// sorted before any of them.
extern const char kNoKeyTime[];
