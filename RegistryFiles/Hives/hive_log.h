// The pieces of a hive's base block and of its transaction logs (old format:
// dirty vector and pages; new format: HvLE entries), each bounded by the
// bytes it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The hive being recovered, kept wherever its owner keeps it (a string, an
// in-memory file). Bytes past its end read as zeros once it has grown.
class HiveImage {
 public:
  virtual ~HiveImage() = default;
  virtual std::size_t size() const = 0;
  // At most `n` bytes from `offset`, fewer at the end.
  virtual std::string Read(std::size_t offset, std::size_t n) const = 0;
  // Grows the image first when it ends before `offset + n`.
  virtual void Write(std::size_t offset, const char* data, std::size_t n) = 0;
  virtual void Grow(std::size_t size) = 0;
};

// Over a string the caller owns.
class StringImage : public HiveImage {
 public:
  explicit StringImage(std::string* bytes) : bytes_(bytes) {}
  std::size_t size() const override { return bytes_->size(); }
  std::string Read(std::size_t offset, std::size_t n) const override;
  void Write(std::size_t offset, const char* data, std::size_t n) override;
  void Grow(std::size_t size) override;

 private:
  std::string* bytes_;
};

namespace hivelog {

constexpr std::size_t kBaseBlockSize = 4096;
constexpr std::size_t kLogSectorSize = 512;  // a log's copy of the base block

std::uint32_t Le32(const char* p);
void PutLe32(char* p, std::uint32_t v);

// XOR-32 of the first 508 bytes, with 0 and -1 mapped away.
std::uint32_t BaseBlockChecksum(const char* block);
// "regf" and a right checksum; needs 512 bytes.
bool BaseBlockValid(std::string_view bytes);

struct LogHeader {
  bool valid = false;  // checksum right, sequence numbers equal, known type
  bool new_format = false;
  std::uint32_t sequence = 0;
  std::uint64_t timestamp = 0;
  std::uint32_t hbins_size = 0;
};
LogHeader ReadLogHeader(std::string_view log);

enum class LogStop { kEnd, kBadHash, kGap, kTruncated, kBadEntry };

struct LogReplay {
  std::uint32_t applied = 0;  // entries (new format) or pages (old) written
  std::uint32_t last_sequence = 0;
  std::uint32_t stop_sequence = 0;  // the entry expected where it stopped
  LogStop stop = LogStop::kEnd;
};

// Applies the entries from `first_sequence` on, in order, to `image`, growing
// it to at most `max_image` bytes. Updates the hive bins size and KTM flag of
// `base_block` (4096 bytes, written back by the caller) from each entry.
LogReplay ReplayNewLog(std::string_view log, std::uint32_t first_sequence, std::size_t max_image,
                       std::string* base_block, HiveImage* image);

// Applies the pages its dirty vector names.
LogReplay ReplayOldLog(std::string_view log, const LogHeader& header, std::size_t max_image,
                       std::string* base_block, HiveImage* image);

}  // namespace hivelog
}  // namespace platform
