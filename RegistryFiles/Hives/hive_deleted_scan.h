// The parts of a hive where nothing is allocated, and the key nodes and
// value keys found whole in them: the first step of FindDeletedRecords.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "RegistryFiles/Hives/hive_cells.h"

namespace platform {
namespace deleted {

constexpr std::size_t kBase = 4096;  // offsets in cells count from here
constexpr std::uint32_t kNoCell = 0xFFFFFFFF;

// File offsets, [begin, end).
struct Span {
  std::size_t begin = 0, end = 0;
};

// A record found in a dead span: its cell's file offset and the bytes the
// record itself fills (size field included).
struct Found {
  std::size_t at = 0, used = 0;
};

// Bytes of the record at `at` when a key node (or value key) lies there
// whole before `end`, its own size field agreeing; 0 when none does.
std::size_t KeyNodeAt(const std::uint8_t* hive, std::size_t at, std::size_t end);
std::size_t ValueKeyAt(const std::uint8_t* hive, std::size_t at, std::size_t end);

inline std::size_t Round8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

class HiveMap {
 public:
  // Walks the hive bins as the live reader does: unallocated cells, the
  // slack after a recognised record in an allocated cell, and whatever
  // follows the last bin are dead; records found there whole are kept.
  HiveMap(const std::uint8_t* hive, std::size_t size);

  // The dead span holding file offset `at`; null when there is none.
  const Span* DeadAt(std::uint64_t at) const;
  // The index of the record found at file offset `at`, or -1.
  long FoundKey(std::uint64_t at) const { return Find(keys_, at); }
  long FoundValue(std::uint64_t at) const { return Find(values_, at); }

  const std::vector<Found>& keys() const { return keys_; }
  const std::vector<Found>& values() const { return values_; }
  std::size_t root() const { return root_; }
  bool bigData() const { return bigData_; }

 private:
  void WalkBin(std::size_t bin, std::size_t end);
  void AddDead(std::size_t begin, std::size_t end);
  static long Find(const std::vector<Found>& found, std::uint64_t at);

  const std::uint8_t* hive_;
  std::vector<Span> dead_;  // in file order, disjoint
  std::vector<Found> keys_, values_;
  std::size_t root_ = 0;
  bool bigData_ = false;  // values past 16344 bytes are stored in segments
};

// The 8-byte slots of the file that recovered bytes come from. A cell is
// claimed once: a second claim on any of its slots fails, and marks the
// slots it passed, so that claims stay linear in the file's size.
class Claims {
 public:
  explicit Claims(std::size_t size) : bits_(size / 512 + 1, 0) {}
  bool Claim(std::size_t begin, std::size_t end);

 private:
  std::vector<std::uint64_t> bits_;
};

}  // namespace deleted
}  // namespace platform
