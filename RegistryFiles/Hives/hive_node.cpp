#include "RegistryFiles/Hives/hive_node.h"

#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "Platform/registry_store.h"

namespace platform {
namespace {

// Longer data goes through hivex and its own limit.
constexpr std::size_t kMaxInPlace = 1u << 20;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

}  // namespace

hive_node_h FindChild(const HiveFile& hive, hive_node_h node, const U16& name) {
  const HiveCells cells = hive.cells();
  SubkeyCursor children(cells, node);
  StoredName stored;
  for (std::uint64_t c = children.Next(); c; c = children.Next()) {
    if (cells.KeyName(c, &stored) && stored.Matches(name)) return Checked(hive, c);
  }
  return 0;
}

hive_value_h FindValue(const HiveFile& hive, hive_node_h node, const U16& name) {
  const HiveCells cells = hive.cells();
  std::size_t count = 0;
  const unsigned char* list = cells.Values(node, &count);
  StoredName stored;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t v = 4096 + std::uint64_t{CellLe32(list + 4 * i)};
    if (cells.ValueName(v, &stored) && stored.Matches(name)) return v;
  }
  return 0;
}

bool ReadRawValue(const HiveFile& hive, hive_value_h value, StoredValue* out) {
  // Data in the value itself or in one cell is copied from the image; big
  // data, and whatever does not fit, is left to hivex.
  const HiveCells cells = hive.cells();
  std::size_t size = 0;
  const unsigned char* vk = cells.Cell(value, &size);
  if (vk && size >= 20 && vk[0] == 'v' && vk[1] == 'k') {
    const std::uint32_t length = CellLe32(vk + 4);
    const std::size_t bytes = length & 0x7FFFFFFF;
    const unsigned char* data = nullptr;
    std::size_t room = 0;
    if (length & 0x80000000) {
      if (bytes <= 4) data = vk + 8;
    } else if (bytes <= kMaxInPlace) {
      data = cells.Cell(4096 + std::uint64_t{CellLe32(vk + 8)}, &room);
      if (room < bytes) data = nullptr;
    }
    if (data) {
      out->type = CellLe32(vk + 12);
      out->data.assign(reinterpret_cast<const char*>(data), bytes);
      return true;
    }
  }
  hive_type type{};
  std::size_t length = 0;
  Owned<char> data(hivex_value_value(hive.get(), value, &type, &length));
  if (!data) return false;
  out->type = static_cast<std::uint32_t>(type);
  out->data.assign(data.get(), length);
  return true;
}

std::optional<U16> ReadText(const HiveFile& hive, hive_node_h node, const U16& name) {
  StoredValue v;
  const hive_value_h h = FindValue(hive, node, name);
  if (!h || !ReadRawValue(hive, h, &v) || (v.type != kRegSz && v.type != kRegExpandSz)) {
    return std::nullopt;
  }
  U16 text = UnitsOf(v.data);
  const std::size_t end = text.find(u'\0');
  if (end != U16::npos) text.resize(end);
  return text;
}

std::optional<std::uint32_t> ReadDword(const HiveFile& hive, hive_node_h node, const U16& name) {
  StoredValue v;
  const hive_value_h h = FindValue(hive, node, name);
  if (!h || !ReadRawValue(hive, h, &v) || v.type != kRegDword || v.data.size() != 4) {
    return std::nullopt;
  }
  const auto* b = reinterpret_cast<const unsigned char*>(v.data.data());
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::vector<std::pair<U16, hive_node_h>> Children(const HiveFile& hive, hive_node_h node) {
  std::vector<std::pair<U16, hive_node_h>> out;
  const HiveCells cells = hive.cells();
  SubkeyCursor children(cells, node);
  StoredName stored;
  for (std::uint64_t c = children.Next(); c; c = children.Next()) {
    if (cells.KeyName(c, &stored) && Checked(hive, c)) out.emplace_back(stored.Text(), c);
  }
  return out;
}

std::vector<U16> ValueNames(const HiveFile& hive, hive_node_h node) {
  std::vector<U16> out;
  const HiveCells cells = hive.cells();
  std::size_t count = 0;
  const unsigned char* list = cells.Values(node, &count);
  StoredName stored;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t v = 4096 + std::uint64_t{CellLe32(list + 4 * i)};
    if (cells.ValueName(v, &stored)) out.push_back(stored.Text());
  }
  return out;
}

hive_node_h Checked(const HiveFile& hive, std::uint64_t node) {
  // hivex knows where cells start: a list entry pointing inside a cell is
  // refused as it refuses it.
  return hivex_node_struct_length(hive.get(), node) ? node : 0;
}

}  // namespace platform
