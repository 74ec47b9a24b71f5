#include "RegistryFiles/hive_index.h"

#include <cstdlib>
#include <memory>
#include <utility>

#include "RegistryFiles/hive_node.h"

namespace platform {
namespace {

// Smaller keys are searched directly; the entries are capped so that memory
// stays bounded whatever the list reads.
constexpr std::size_t kIndexFrom = 64;
constexpr std::size_t kMaxEntries = 1u << 18;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

}  // namespace

const NameIndex::Table* NameIndex::Find(const HiveFile& hive, const Key& key, std::size_t count) {
  auto it = tables_.find(key);
  if (it != tables_.end()) return &it->second;
  if (count < kIndexFrom || entries_ + count > kMaxEntries) return nullptr;
  Table table;
  table.reserve(count);
  const hive_node_h node = std::get<1>(key);
  if (std::get<2>(key)) {
    std::unique_ptr<hive_value_h, FreeDeleter> values(hivex_node_values(hive.get(), node));
    for (const hive_value_h* v = values.get(); v && *v; ++v) {
      std::unique_ptr<char, FreeDeleter> stored(hivex_value_key(hive.get(), *v));
      U16 name;
      if (stored && Utf8ToUtf16(stored.get(), &name)) table.emplace(FoldCase(name), *v);
    }
  } else {
    for (auto& [name, child] : Children(hive, node)) table.emplace(FoldCase(name), child);
  }
  entries_ += table.size();
  return &tables_.emplace(key, std::move(table)).first->second;
}

hive_node_h NameIndex::Child(const HiveFile& hive, int mount, hive_node_h node, const U16& name) {
  const Table* table =
      Find(hive, Key(mount, node, false), hivex_node_nr_children(hive.get(), node));
  if (!table) return FindChild(hive, node, name);
  const auto it = table->find(FoldCase(name));
  return it == table->end() ? 0 : it->second;
}

hive_value_h NameIndex::Value(const HiveFile& hive, int mount, hive_node_h node, const U16& name) {
  const Table* table = Find(hive, Key(mount, node, true), hivex_node_nr_values(hive.get(), node));
  if (!table) return FindValue(hive, node, name);
  const auto it = table->find(FoldCase(name));
  return it == table->end() ? 0 : it->second;
}

}  // namespace platform
