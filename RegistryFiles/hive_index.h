// Name lookups in keys with many subkeys or values. hivex compares names
// one by one, converting each: a key with thousands of subkeys costs
// milliseconds per lookup. A key looked in a second time is indexed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "Platform/charset_posix.h"
#include "RegistryFiles/hive_file.h"

namespace platform {

class NameIndex {
 public:
  // As FindChild and FindValue; `mount` (below 2^19) tells hives apart.
  hive_node_h Child(const HiveFile& hive, int mount, hive_node_h node, const U16& name);
  hive_value_h Value(const HiveFile& hive, int mount, hive_node_h node, const U16& name);

 private:
  using Table = std::unordered_map<U16, std::size_t>;  // folded name, handle
  // The key's table; null while it is not worth one, or once the entries
  // are capped.
  const Table* Find(const HiveFile& hive, int mount, hive_node_h node, bool values);

  // Null for a key read once.
  std::unordered_map<std::uint64_t, std::unique_ptr<Table>> tables_;
  std::size_t entries_ = 0;
};

}  // namespace platform
