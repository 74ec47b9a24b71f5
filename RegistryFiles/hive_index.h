// Name lookups in keys with many subkeys or values. hivex compares names
// one by one, converting each: a key with thousands of subkeys costs
// milliseconds per lookup. Such keys are indexed on their first lookup.
#pragma once

#include <cstddef>
#include <map>
#include <tuple>
#include <unordered_map>

#include "Platform/charset_posix.h"
#include "RegistryFiles/hive_file.h"

namespace platform {

class NameIndex {
 public:
  // As FindChild and FindValue; `mount` tells hives apart.
  hive_node_h Child(const HiveFile& hive, int mount, hive_node_h node, const U16& name);
  hive_value_h Value(const HiveFile& hive, int mount, hive_node_h node, const U16& name);

 private:
  using Table = std::unordered_map<U16, std::size_t>;  // folded name, handle
  using Key = std::tuple<int, std::size_t, bool>;      // mount, node, values
  const Table* Find(const HiveFile& hive, const Key& key, std::size_t count);

  std::map<Key, Table> tables_;
  std::size_t entries_ = 0;
};

}  // namespace platform
