#include "RegistryFiles/Hives/hive_log.h"

#include <cstring>

#include "RegistryFiles/Hives/marvin32.h"

namespace platform {
namespace hivelog {
namespace {

constexpr std::size_t kEntryHeaderSize = 40;
constexpr std::uint32_t kHbinAlign = 4096;
constexpr std::uint32_t kKtmLocked = 1;  // the one flag a log entry carries

std::uint64_t Le64(const char* p) {
  return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

std::uint64_t Marvin(const char* p, std::size_t n) {
  return Marvin32(kHiveLogMarvinSeed, reinterpret_cast<const unsigned char*>(p), n);
}

// Checks every page reference of an entry against the entry and the hive bins
// size before anything is written, so that a bad entry changes nothing.
bool PagesFit(const char* entry, std::uint32_t size, std::uint32_t hbins) {
  const std::uint32_t count = Le32(entry + 20);
  if (count > (size - kEntryHeaderSize) / 8) return false;
  std::uint64_t data = kEntryHeaderSize + std::uint64_t{count} * 8;
  for (std::uint32_t i = 0; i < count; ++i) {
    const char* ref = entry + kEntryHeaderSize + i * 8;
    const std::uint64_t offset = Le32(ref), length = Le32(ref + 4);
    if (offset + length > hbins || data + length > size) return false;
    data += length;
  }
  return true;
}

}  // namespace

}  // namespace hivelog

std::string StringImage::Read(std::size_t offset, std::size_t n) const {
  return offset < bytes_->size() ? bytes_->substr(offset, n) : std::string();
}

void StringImage::Write(std::size_t offset, const char* data, std::size_t n) {
  Grow(offset + n);
  bytes_->replace(offset, n, data, n);
}

void StringImage::Grow(std::size_t size) {
  if (bytes_->size() < size) bytes_->resize(size, '\0');
}

namespace hivelog {

std::uint32_t Le32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
}

void PutLe32(char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}

std::uint32_t BaseBlockChecksum(const char* block) {
  std::uint32_t sum = 0;
  for (int i = 0; i < 508; i += 4) sum ^= Le32(block + i);
  if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  if (sum == 0) return 1;
  return sum;
}

bool BaseBlockValid(std::string_view bytes) {
  return bytes.size() >= kLogSectorSize && bytes.compare(0, 4, "regf") == 0 &&
         BaseBlockChecksum(bytes.data()) == Le32(bytes.data() + 508);
}

LogHeader ReadLogHeader(std::string_view log) {
  LogHeader h;
  if (!BaseBlockValid(log)) return h;
  const char* b = log.data();
  const std::uint32_t type = Le32(b + 28);
  h.sequence = Le32(b + 4);
  h.timestamp = Le64(b + 12);
  h.hbins_size = Le32(b + 40);
  h.new_format = type == 6;
  const bool old_format = (type == 1 || type == 2) && log.size() >= kLogSectorSize + 4 &&
                          log.compare(512, 4, "DIRT") == 0;
  h.valid =
      (h.new_format || old_format) && h.sequence == Le32(b + 8) && h.hbins_size % kHbinAlign == 0;
  return h;
}

LogReplay ReplayNewLog(std::string_view log, std::uint32_t first_sequence, std::size_t max_image,
                       std::string* base_block, HiveImage* image) {
  LogReplay r;
  std::uint32_t expected = first_sequence;
  // Each pass moves past one whole entry of at least 512 bytes, so the loop
  // ends within the log's size.
  for (std::size_t pos = kLogSectorSize;;) {
    r.stop_sequence = expected;
    if (pos > log.size() || log.size() - pos < 4 || log.compare(pos, 4, "HvLE") != 0)
      break;  // the end of the entries
    if (log.size() - pos < kEntryHeaderSize) {
      r.stop = LogStop::kTruncated;
      break;
    }
    const char* e = log.data() + pos;
    if (Marvin(e, 32) != Le64(e + 32)) {
      r.stop = LogStop::kBadHash;
      break;
    }
    const std::uint32_t sequence = Le32(e + 12);
    if (sequence < expected) break;  // an entry already applied, left from earlier writes
    if (sequence > expected) {
      r.stop = LogStop::kGap;
      break;
    }
    const std::uint32_t size = Le32(e + 4);
    if (size < kEntryHeaderSize || size % kLogSectorSize != 0) {
      r.stop = LogStop::kBadEntry;
      break;
    }
    if (size > log.size() - pos) {
      r.stop = LogStop::kTruncated;
      break;
    }
    if (Marvin(e + kEntryHeaderSize, size - kEntryHeaderSize) != Le64(e + 24)) {
      r.stop = LogStop::kBadHash;
      break;
    }
    const std::uint32_t hbins = Le32(e + 16);
    if (hbins == 0 || hbins % kHbinAlign != 0 || hbins > max_image - kBaseBlockSize ||
        !PagesFit(e, size, hbins)) {
      r.stop = LogStop::kBadEntry;
      break;
    }
    image->Grow(kBaseBlockSize + hbins);
    const std::uint32_t count = Le32(e + 20);
    const char* data = e + kEntryHeaderSize + std::size_t{count} * 8;
    for (std::uint32_t i = 0; i < count; ++i) {
      const char* ref = e + kEntryHeaderSize + i * 8;
      const std::uint32_t length = Le32(ref + 4);
      image->Write(kBaseBlockSize + Le32(ref), data, length);
      data += length;
    }
    char* base = &(*base_block)[0];
    PutLe32(base + 40, hbins);
    PutLe32(base + 144, (Le32(base + 144) & ~kKtmLocked) | (Le32(e + 8) & kKtmLocked));
    ++r.applied;
    r.last_sequence = sequence;
    pos += size;
    if (sequence == 0xFFFFFFFFu) break;
    expected = sequence + 1;
  }
  return r;
}

LogReplay ReplayOldLog(std::string_view log, const LogHeader& header, std::size_t max_image,
                       std::string* base_block, HiveImage* image) {
  LogReplay r;
  const std::uint32_t hbins = header.hbins_size;
  if (hbins == 0 || hbins > max_image - kBaseBlockSize) {
    r.stop = LogStop::kBadEntry;
    return r;
  }
  // One bit per 512-byte page of the hive bins; the pages follow the vector
  // from the next sector on.
  const std::size_t bitmap = kLogSectorSize + 4, bitmap_size = hbins / kLogSectorSize / 8;
  if (log.size() < bitmap + bitmap_size) {
    r.stop = LogStop::kTruncated;
    return r;
  }
  image->Grow(kBaseBlockSize + hbins);
  std::size_t page = (bitmap + bitmap_size + kLogSectorSize - 1) / kLogSectorSize * kLogSectorSize;
  for (std::size_t i = 0; i < bitmap_size && r.stop == LogStop::kEnd; ++i) {
    const auto bits = static_cast<unsigned char>(log[bitmap + i]);
    for (int bit = 0; bits != 0 && bit < 8; ++bit) {
      if (!(bits & (1u << bit))) continue;
      if (page > log.size() || log.size() - page < kLogSectorSize) {
        r.stop = LogStop::kTruncated;
        break;
      }
      image->Write(kBaseBlockSize + (i * 8 + bit) * kLogSectorSize, log.data() + page,
                   kLogSectorSize);
      page += kLogSectorSize;
      ++r.applied;
    }
  }
  PutLe32(&(*base_block)[0] + 40, hbins);
  return r;
}

}  // namespace hivelog
}  // namespace platform
