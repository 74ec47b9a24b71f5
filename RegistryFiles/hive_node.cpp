#include "RegistryFiles/hive_node.h"

#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

bool IsAscii(const U16& s) {
  for (char16_t c : s) {
    if (c >= 0x80 || c == 0) return false;
  }
  return true;
}

U16 UnitsOf(const std::string& bytes) {
  U16 units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return units;
}

// hivex hands names out as UTF-8.
bool SameName(const char* stored, const U16& folded) {
  U16 name;
  return stored && Utf8ToUtf16(stored, &name) && FoldCase(name) == folded;
}

}  // namespace

hive_node_h FindChild(const HiveFile& hive, hive_node_h node, const U16& name) {
  // hivex compares with strcasecmp: right for ASCII names only.
  if (IsAscii(name)) return hivex_node_get_child(hive.get(), node, Utf16ToUtf8(name).c_str());
  const U16 folded = FoldCase(name);
  Owned<hive_node_h> children(hivex_node_children(hive.get(), node));
  if (!children) return 0;
  for (const hive_node_h* c = children.get(); *c; ++c) {
    Owned<char> stored(hivex_node_name(hive.get(), *c));
    if (SameName(stored.get(), folded)) return *c;
  }
  return 0;
}

hive_value_h FindValue(const HiveFile& hive, hive_node_h node, const U16& name) {
  if (IsAscii(name) || name.empty()) {
    return hivex_node_get_value(hive.get(), node, Utf16ToUtf8(name).c_str());
  }
  const U16 folded = FoldCase(name);
  Owned<hive_value_h> values(hivex_node_values(hive.get(), node));
  if (!values) return 0;
  for (const hive_value_h* v = values.get(); *v; ++v) {
    Owned<char> stored(hivex_value_key(hive.get(), *v));
    if (SameName(stored.get(), folded)) return *v;
  }
  return 0;
}

bool ReadRawValue(const HiveFile& hive, hive_value_h value, StoredValue* out) {
  hive_type type{};
  std::size_t length = 0;
  Owned<char> data(hivex_value_value(hive.get(), value, &type, &length));
  if (!data) return false;
  out->type = static_cast<std::uint32_t>(type);
  out->data.assign(data.get(), length);
  return true;
}

bool ReadValue(const HiveFile& hive, hive_value_h value, StoredValue* out) {
  if (!ReadRawValue(hive, value, out)) return false;
  if (out->type == kRegSz || out->type == kRegExpandSz || out->type == kRegMultiSz) {
    // Each UTF-16 unit becomes one byte, as in the Wine prefix reader.
    const U16 units = UnitsOf(out->data);
    out->data = NarrowToAnsi(units.data(), units.size());
  }
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
  Owned<hive_node_h> children(hivex_node_children(hive.get(), node));
  if (!children) return out;
  for (const hive_node_h* c = children.get(); *c; ++c) {
    Owned<char> stored(hivex_node_name(hive.get(), *c));
    U16 name;
    if (stored && Utf8ToUtf16(stored.get(), &name)) out.emplace_back(std::move(name), *c);
  }
  return out;
}

}  // namespace platform
