#include "RegistryFiles/Hives/hive_index.h"

#include "RegistryFiles/Hives/hive_cells.h"
#include "RegistryFiles/Hives/hive_node.h"

namespace platform {
namespace {

// Smaller keys are searched in place; the slots (8 bytes each) are capped so
// that memory stays bounded whatever the list reads.
constexpr std::size_t kIndexFrom = 32;
constexpr std::size_t kMaxSlots = 1u << 19;
constexpr std::uint64_t kFirstBin = 4096;

std::size_t TableSize(std::size_t entries) {
  std::size_t n = 16;
  while (n < entries * 2) n *= 2;
  return n;
}

}  // namespace

NameIndex::NameIndex() : seen_(std::make_unique<std::array<std::uint64_t, 4096>>()) {}

const NameIndex::Table* NameIndex::Find(const HiveFile& hive, int mount, hive_node_h node,
                                        bool values) {
  // Hive offsets stay below 2^33 (hivex maps at most 4 GB).
  const std::uint64_t id = static_cast<std::uint64_t>(node) << 20 |
                           static_cast<std::uint64_t>(mount & 0x7FFFF) << 1 | (values ? 1 : 0);
  const auto it = tables_.find(id);
  if (it != tables_.end()) return &it->second;
  const HiveCells cells = hive.cells();
  std::size_t count = 0;
  const unsigned char* list = values ? cells.Values(node, &count) : nullptr;
  if (!values) count = cells.SubkeyCount(node);
  const std::size_t size = TableSize(count);
  if (count < kIndexFrom || slots_ + size > kMaxSlots) return nullptr;
  // A key read once is searched in place, as indexing costs more.
  std::uint64_t& seen = (*seen_)[(id ^ id >> 17) % seen_->size()];
  if (seen != id + 1) {
    seen = id + 1;
    return nullptr;
  }
  Table table(size, Slot{0, 0});
  StoredName name;
  const auto add = [&](std::uint64_t cell) {
    const std::uint32_t hash = name.FoldedHash();
    std::size_t i = hash & (size - 1);
    while (table[i].cell) i = (i + 1) & (size - 1);
    table[i] = {hash, static_cast<std::uint32_t>(cell - kFirstBin)};
  };
  if (values) {
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t v = kFirstBin + CellLe32(list + 4 * i);
      if (cells.ValueName(v, &name)) add(v);
    }
  } else {
    SubkeyCursor children(cells, node);
    for (std::uint64_t c = children.Next(); c; c = children.Next()) {
      if (cells.KeyName(c, &name) && Checked(hive, c)) add(c);
    }
  }
  slots_ += size;
  return &tables_.emplace(id, std::move(table)).first->second;
}

template <typename NameOf>
std::uint64_t NameIndex::Probe(const Table& table, const U16& name, NameOf nameOf) {
  const std::uint32_t hash = FoldedHash(name);
  StoredName stored;
  for (std::size_t i = hash & (table.size() - 1); table[i].cell; i = (i + 1) & (table.size() - 1)) {
    const std::uint64_t cell = kFirstBin + table[i].cell;
    if (table[i].hash == hash && nameOf(cell, &stored) && stored.Matches(name)) return cell;
  }
  return 0;
}

hive_node_h NameIndex::Child(const HiveFile& hive, int mount, hive_node_h node, const U16& name) {
  const Table* table = Find(hive, mount, node, false);
  if (!table) return FindChild(hive, node, name);
  const HiveCells cells = hive.cells();
  return Probe(*table, name, [&](std::uint64_t c, StoredName* n) { return cells.KeyName(c, n); });
}

hive_value_h NameIndex::Value(const HiveFile& hive, int mount, hive_node_h node, const U16& name) {
  const Table* table = Find(hive, mount, node, true);
  if (!table) return FindValue(hive, node, name);
  const HiveCells cells = hive.cells();
  return Probe(*table, name, [&](std::uint64_t c, StoredName* n) { return cells.ValueName(c, n); });
}

}  // namespace platform
