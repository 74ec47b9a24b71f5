// The pieces of a hive's base block and of its transaction logs (old format:
// dirty vector and pages; new format: HvLE entries), each bounded by the
// bytes it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

constexpr std::size_t kBaseBlockSize = 4096;
constexpr std::size_t kLogSectorSize = 512;  // a log's copy of the base block

std::uint32_t Le32(const char* p);
void PutLe32(char* p, std::uint32_t v);

// XOR-32 of the first 508 bytes, with 0 and -1 mapped away.
std::uint32_t BaseBlockChecksum(const char* block);
// "regf" and a right checksum; needs 512 bytes.
bool BaseBlockValid(const std::string& bytes);

struct LogHeader {
  bool valid = false;  // checksum right, sequence numbers equal, known type
  bool new_format = false;
  std::uint32_t sequence = 0;
  std::uint64_t timestamp = 0;
  std::uint32_t hbins_size = 0;
};
LogHeader ReadLogHeader(const std::string& log);

enum class LogStop { kEnd, kBadHash, kGap, kTruncated, kBadEntry };

struct LogReplay {
  std::uint32_t applied = 0;  // entries (new format) or pages (old) written
  std::uint32_t last_sequence = 0;
  std::uint32_t stop_sequence = 0;  // the entry expected where it stopped
  LogStop stop = LogStop::kEnd;
};

// Applies the entries from `first_sequence` on, in order, to `image`, growing
// it to at most `max_image` bytes. Updates the base block's hive bins size and
// KTM flag from each entry applied.
LogReplay ReplayNewLog(const std::string& log, std::uint32_t first_sequence, std::size_t max_image,
                       std::string* image);

// Applies the pages its dirty vector names.
LogReplay ReplayOldLog(const std::string& log, const LogHeader& header, std::size_t max_image,
                       std::string* image);

}  // namespace platform
