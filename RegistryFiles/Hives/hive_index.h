// Name lookups in keys with many subkeys or values. A key's list is
// searched in place, one stored name after another; a key looked in a
// second time gets a hash table of its names, built from the stored bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "Platform/charset_posix.h"
#include "RegistryFiles/Hives/hive_file.h"

namespace platform {

class NameIndex {
 public:
  NameIndex();
  // As FindChild and FindValue; `mount` (below 2^19) tells hives apart.
  hive_node_h Child(const HiveFile& hive, int mount, hive_node_h node, const U16& name);
  hive_value_h Value(const HiveFile& hive, int mount, hive_node_h node, const U16& name);

 private:
  // Open addressing: the folded name's hash, and the entry's cell offset
  // relative to the first bin (0: free slot).
  struct Slot {
    std::uint32_t hash;
    std::uint32_t cell;
  };
  using Table = std::vector<Slot>;
  // The key's table; null while it is not worth one, or once the slots are
  // capped.
  const Table* Find(const HiveFile& hive, int mount, hive_node_h node, bool values);
  // The cell of the table's entry whose name, read by `nameOf`, is `name`; 0
  // when there is none.
  template <typename NameOf>
  static std::uint64_t Probe(const Table& table, const U16& name, NameOf nameOf);

  std::unordered_map<std::uint64_t, Table> tables_;
  // Keys seen once, by the low bits of their id: a bounded, forgetful set.
  std::unique_ptr<std::array<std::uint64_t, 4096>> seen_;
  std::size_t slots_ = 0;
};

}  // namespace platform
