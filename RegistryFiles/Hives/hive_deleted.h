// Keys and values a hive still holds after they were deleted: records left in
// unallocated cells, in the slack of allocated ones and after the last hive
// bin. Only records found whole count; anything that no longer fits is left
// out or marked unreliable, never guessed. A key node heading an allocated
// cell is live, reachable or not: Windows frees what it deletes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct DeletedValue {
  std::u16string name;  // UTF-16LE, or Latin-1 when the name is stored compressed
  std::uint32_t type = 0;
  std::string data;  // every byte, as stored; empty when not reliable
  // False when the data can no longer be read as it was: its cell is
  // allocated again, overlaps another record or no longer has its shape.
  bool reliable = true;
  std::uint32_t offset = 0;  // the vk cell, relative to the first hive bin
};

struct DeletedKey {
  // Names below the hive's root key down to this key's own, as far as the
  // parent chain (through live or deleted key nodes) leads.
  std::vector<std::u16string> path;
  // The path does not start below the root key: the chain broke (a parent
  // neither live nor recovered, a loop), ran deeper than Windows nests keys
  // (the deepest 512 names are kept), or the paths of this hive already hold
  // twice its size in units (a hostile hive: the key's own name is kept).
  bool partial = false;
  std::uint64_t lastWrite = 0;       // FILETIME
  std::uint32_t offset = 0;          // the nk cell, relative to the first hive bin
  std::vector<DeletedValue> values;  // those its value list still leads to
};

struct DeletedRecords {
  std::vector<DeletedKey> keys;  // in file order
  // Listed by no recovered key, in file order. A live key that still lists
  // one does not make it live: the live reader refuses unallocated cells.
  std::vector<DeletedValue> orphanValues;
};

// One pass over `hive` (base block and hive bins, as the live reader sees it:
// logs already replayed). Never reads outside it; time and memory stay linear
// in its size whatever it holds.
DeletedRecords FindDeletedRecords(const std::uint8_t* hive, std::size_t size);

}  // namespace platform
