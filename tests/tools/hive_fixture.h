// Small hives and their transaction logs, built from known changes, for the
// tests, the fuzzer and the benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hivefix {

// A clean hive whose root key holds "Version" = `text` (REG_SZ, at most 31
// characters) and "Stamp" (REG_DWORD). `grown` adds a second hive bin that
// holds Version's data.
std::string MakeHive(const std::string& text, bool grown = false);

// Sets the base block's sequence numbers and rewrites its checksum.
void SetSequence(std::string* hive, std::uint32_t primary, std::uint32_t secondary);
void WriteChecksum(std::string* block);

// The text of "Version", found from the root key; "?" when it cannot be reached.
std::string VersionText(const std::string& image);

// A new-format log entry that turns `before` into `after`: the 4096-byte pages
// that differ, with both Marvin32 hashes.
std::string LogEntry(std::uint32_t sequence, const std::string& before, const std::string& after);
// A new-format log: a copy of `hive`'s base block for `sequence`, then entries.
std::string NewLog(const std::string& hive, std::uint32_t sequence,
                   const std::vector<std::string>& entries);
// An old-format log: its dirty vector names the 512-byte pages of `after`
// that differ from `before`; `before`'s base block is copied.
std::string OldLog(const std::string& before, const std::string& after);

// Offsets inside an entry, for the tests that damage one.
constexpr std::size_t kEntryHash1 = 24, kEntryHash2 = 32, kEntryPages = 40;

}  // namespace hivefix
