#include "RegistryFiles/Images/partition_table.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {
namespace {

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t Le64(const unsigned char* p) {
  return static_cast<std::uint64_t>(Le32(p)) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}

// A GPT header at `at` of `block`, for sectors of `sector` bytes: empty when
// there is none or it can be read; else why not.
std::string CheckGptHeader(const std::vector<unsigned char>& block, std::size_t at,
                           std::uint64_t imageSize, std::uint64_t sector) {
  if (at + 92 > block.size()) return "";
  const unsigned char* header = block.data() + at;
  if (std::memcmp(header, "EFI PART", 8) != 0) return "";
  const std::uint64_t entriesLba = Le64(header + 72);
  const std::uint32_t entries = Le32(header + 80);
  const std::uint32_t entrySize = Le32(header + 84);
  // "table GPT de N entrées, plus de 4096"
  if (entries > kMaxGptEntries) {
    return "table GPT de " + std::to_string(entries) + " entr\xE9" + "es, plus de " +
           std::to_string(kMaxGptEntries);
  }
  // "taille d'entrée GPT invalide"
  if (entrySize < 128 || entrySize > sector || entrySize % 8 != 0) {
    return "taille d'entr\xE9" + std::string("e GPT invalide : ") + std::to_string(entrySize);
  }
  // Both factors are bounded above: the product cannot overflow.
  const std::uint64_t tableBytes = static_cast<std::uint64_t>(entries) * entrySize;
  if (entriesLba == 0 || tableBytes > imageSize || entriesLba > imageSize / sector ||
      entriesLba * sector > imageSize - tableBytes) {
    // "table GPT au-delà de la fin du disque"
    return "table GPT au-del\xE0 de la fin du disque";
  }
  return "";
}

bool IsExtended(unsigned char type) { return type == 0x05 || type == 0x0F || type == 0x85; }

// The MBR's extended partitions, followed as the library follows them:
// every extended entry of each record leads to another record.
std::string CheckExtendedChain(const ImageReader& read, std::uint64_t imageSize) {
  constexpr std::uint64_t kSector = 512;
  unsigned char mbr[512];
  if (!read(0, mbr, sizeof mbr) || mbr[510] != 0x55 || mbr[511] != 0xAA) return "";
  struct Record {
    std::uint64_t lba;
    std::uint64_t base;  // the first extended partition's start
  };
  std::vector<Record> pending;
  for (int i = 0; i < 4; ++i) {
    const unsigned char* entry = mbr + 0x1BE + 16 * i;
    if (IsExtended(entry[4])) pending.push_back({Le32(entry + 8), Le32(entry + 8)});
  }
  int followed = 0;
  while (!pending.empty()) {
    const Record record = pending.back();
    pending.pop_back();
    if (record.lba == 0 || record.lba >= imageSize / kSector) continue;
    // "plus de 128 partitions étendues enchaînées"
    if (++followed > kMaxExtendedRecords) {
      return "plus de " + std::to_string(kMaxExtendedRecords) +
             " partitions \xE9tendues encha\xEEn\xE9" + "es";
    }
    unsigned char ebr[512];
    if (!read(record.lba * kSector, ebr, sizeof ebr) || ebr[510] != 0x55 || ebr[511] != 0xAA) {
      continue;
    }
    for (int i = 0; i < 4; ++i) {
      const unsigned char* entry = ebr + 0x1BE + 16 * i;
      if (IsExtended(entry[4])) pending.push_back({record.base + Le32(entry + 8), record.base});
    }
  }
  return "";
}

}  // namespace

bool IsProtectiveMbr(const unsigned char* sector) {
  return sector[510] == 0x55 && sector[511] == 0xAA && sector[0x1BE + 4] == 0xEE;
}

std::string CheckPartitionTables(const ImageReader& read, std::uint64_t imageSize) {
  // The library looks for a GPT header in the second sector and, failing
  // that, in the last, for each sector size it knows. The image's head and
  // tail are read whole and once: an E01 reader cut short fails a chunk
  // read again after reading into it at another place.
  constexpr std::uint64_t kLargestSector = 8192;
  const std::uint64_t span = std::min(imageSize, 2 * kLargestSector);
  std::vector<unsigned char> head(span);
  std::vector<unsigned char> tail(span);
  const bool haveHead = read(0, head.data(), head.size());
  const bool haveTail = read(imageSize - span, tail.data(), tail.size());
  for (std::uint64_t sector = 512; sector <= kLargestSector; sector *= 2) {
    if (imageSize < 2 * sector) break;
    std::string why;
    if (haveHead) why = CheckGptHeader(head, sector, imageSize, sector);
    const std::uint64_t last = imageSize / sector * sector - sector;
    if (why.empty() && haveTail && last >= imageSize - span) {
      why = CheckGptHeader(tail, last - (imageSize - span), imageSize, sector);
    }
    if (!why.empty()) return why;
  }
  return CheckExtendedChain(read, imageSize);
}

}  // namespace platform
