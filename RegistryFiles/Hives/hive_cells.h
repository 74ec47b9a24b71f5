// Key nodes, subkey lists and value lists read in place from the mapped
// hive, every offset checked against the image. hivex copies and converts
// each name it compares; lookups here compare the stored bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Platform/charset_posix.h"

namespace platform {

// A key's or a value's name as stored: Latin-1 bytes or UTF-16LE.
struct StoredName {
  const unsigned char* bytes = nullptr;
  std::size_t size = 0;  // bytes
  bool compressed = false;

  std::size_t Length() const { return compressed ? size : size / 2; }
  char16_t Unit(std::size_t i) const {
    return compressed ? bytes[i] : static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  // Equal to `name` in any letter case, as FoldCase compares.
  bool Matches(const U16& name) const;
  // A hash of the folded name; equal names hash alike.
  std::uint32_t FoldedHash() const;
  U16 Text() const;
};

std::uint32_t FoldedHash(const U16& name);

// Offsets are file offsets of a cell's size field, as hivex's handles.
class HiveCells {
 public:
  HiveCells(const unsigned char* image, std::size_t size) : image_(image), size_(size) {}

  // The data of the allocated cell at `offset`; null when it is no such
  // cell inside the image.
  const unsigned char* Cell(std::uint64_t offset, std::size_t* size) const;
  // The key node at `node`; null when it is none.
  const unsigned char* Key(std::uint64_t node, std::size_t* size) const;
  bool KeyName(std::uint64_t node, StoredName* name) const;
  bool ValueName(std::uint64_t value, StoredName* name) const;
  std::uint32_t SubkeyCount(std::uint64_t node) const;
  // The key's value list and its length (bounded by its cell); null when
  // the key has none that can be read.
  const unsigned char* Values(std::uint64_t node, std::size_t* count) const;

 private:
  const unsigned char* image_;
  std::size_t size_;
};

// The subkeys of a key in stored order, through lf, lh, li and one level of
// ri lists. At most the declared number of entries is read, so a list that
// lists itself or a count that lies ends the walk.
class SubkeyCursor {
 public:
  SubkeyCursor(const HiveCells& cells, std::uint64_t node);
  // The next entry that is a key node; 0 at the end.
  std::uint64_t Next();

 private:
  bool NextLeaf();

  const HiveCells& cells_;
  const unsigned char* root_ = nullptr;  // ri elements, or null
  std::size_t rootCount_ = 0, rootAt_ = 0;
  const unsigned char* leaf_ = nullptr;
  std::size_t leafCount_ = 0, leafAt_ = 0, stride_ = 8;
  std::size_t budget_ = 0;  // entries still to read
};

inline std::uint32_t CellLe32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint16_t CellLe16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

}  // namespace platform
