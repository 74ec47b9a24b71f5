#include "RegistryFiles/hive_index.h"

#include <cstdlib>
#include <memory>
#include <utility>

#include "RegistryFiles/hive_node.h"

namespace platform {
namespace {

// Smaller keys are searched directly; the entries (about 64 bytes each) are
// capped so that memory stays bounded whatever the list reads.
constexpr std::size_t kChildrenFrom = 16;
constexpr std::size_t kValuesFrom = 8;
constexpr std::size_t kMaxEntries = 1u << 16;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

}  // namespace

const NameIndex::Table* NameIndex::Find(const HiveFile& hive, int mount, hive_node_h node,
                                        bool values) {
  // Hive offsets stay below 2^33 (hivex maps at most 4 GB).
  const std::uint64_t id = static_cast<std::uint64_t>(node) << 20 |
                           static_cast<std::uint64_t>(mount & 0x7FFFF) << 1 | (values ? 1 : 0);
  auto it = tables_.find(id);
  if (it != tables_.end() && it->second) return it->second.get();
  const std::size_t count =
      values ? hivex_node_nr_values(hive.get(), node) : hivex_node_nr_children(hive.get(), node);
  if (count < (values ? kValuesFrom : kChildrenFrom) || entries_ + count > kMaxEntries) {
    return nullptr;
  }
  // A key read once is searched directly, as indexing costs more.
  if (it == tables_.end()) {
    tables_.emplace(id, nullptr);
    return nullptr;
  }
  auto table = std::make_unique<Table>();
  table->reserve(count);
  if (values) {
    std::unique_ptr<hive_value_h, FreeDeleter> list(hivex_node_values(hive.get(), node));
    for (const hive_value_h* v = list.get(); v && *v; ++v) {
      std::unique_ptr<char, FreeDeleter> stored(hivex_value_key(hive.get(), *v));
      U16 name;
      if (stored && Utf8ToUtf16(stored.get(), &name)) table->emplace(FoldCase(name), *v);
    }
  } else {
    for (auto& [name, child] : Children(hive, node)) table->emplace(FoldCase(name), child);
  }
  entries_ += table->size();
  it->second = std::move(table);
  return it->second.get();
}

hive_node_h NameIndex::Child(const HiveFile& hive, int mount, hive_node_h node, const U16& name) {
  const Table* table = Find(hive, mount, node, false);
  if (!table) return FindChild(hive, node, name);
  const auto it = table->find(FoldCase(name));
  return it == table->end() ? 0 : it->second;
}

hive_value_h NameIndex::Value(const HiveFile& hive, int mount, hive_node_h node, const U16& name) {
  const Table* table = Find(hive, mount, node, true);
  if (!table) return FindValue(hive, node, name);
  const auto it = table->find(FoldCase(name));
  return it == table->end() ? 0 : it->second;
}

}  // namespace platform
