#include "tests/tools/deleted_fixture.h"

#include <algorithm>

#include "tests/tools/hive_fixture.h"

namespace hivefix {
namespace {

void Put(std::string* s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
}

std::string Le16Bytes(std::size_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
}

// The stored form of a name and whether it is the compressed one.
std::string StoredName(const std::u16string& name, bool* compressed) {
  *compressed = std::all_of(name.begin(), name.end(), [](char16_t c) { return c < 0x100; });
  if (!*compressed) return Utf16Bytes(name);
  return std::string(name.begin(), name.end());
}

}  // namespace

std::string Utf16Bytes(const std::u16string& text) {
  std::string out;
  for (const char16_t c : text) out += Le16Bytes(c);
  return out;
}

std::string Le32Bytes(std::uint32_t v) {
  std::string s(4, '\0');
  Put(&s, 0, v);
  return s;
}

std::u16string Numbered(const char16_t* stem, std::size_t n) {
  std::u16string name = stem;
  for (const char c : std::to_string(n)) name += static_cast<char16_t>(c);
  return name;
}

std::string KeyNode(const std::u16string& name, std::uint32_t parent, std::uint32_t values,
                    std::uint32_t valueList, std::uint16_t flags) {
  bool compressed = false;
  const std::string stored = StoredName(name, &compressed);
  std::string nk = "nk" + Le16Bytes(flags | (compressed ? 0x20 : 0));
  nk += Le32Bytes(static_cast<std::uint32_t>(kFixtureTime)) +
        Le32Bytes(static_cast<std::uint32_t>(kFixtureTime >> 32));
  nk += Le32Bytes(0) + Le32Bytes(parent) + Le32Bytes(0) + Le32Bytes(0);
  nk += Le32Bytes(kNoCell) + Le32Bytes(kNoCell) + Le32Bytes(values) + Le32Bytes(valueList);
  nk += Le32Bytes(kNoCell) + Le32Bytes(kNoCell) + std::string(20, '\0');
  return nk + Le16Bytes(stored.size()) + Le16Bytes(0) + stored;
}

std::string ValueKey(const std::u16string& name, std::uint32_t type, std::uint32_t length,
                     std::uint32_t data) {
  bool compressed = false;
  const std::string stored = StoredName(name, &compressed);
  return "vk" + Le16Bytes(stored.size()) + Le32Bytes(length) + Le32Bytes(data) + Le32Bytes(type) +
         Le16Bytes(compressed ? 1 : 0) + Le16Bytes(0) + stored;
}

std::uint32_t CellWriter::Add(const std::string& body, bool allocated, std::uint32_t size) {
  const std::uint32_t at = Next();
  if (size == 0) size = static_cast<std::uint32_t>((4 + body.size() + 7) & ~std::size_t{7});
  const std::int32_t field =
      allocated ? -static_cast<std::int32_t>(size) : static_cast<std::int32_t>(size);
  std::string cell = Le32Bytes(static_cast<std::uint32_t>(field)) + body;
  cell.resize(std::max<std::size_t>(size, cell.size()), '\0');
  cells_ += cell.substr(0, size);
  return at;
}

void CellWriter::Patch(std::uint32_t cell, std::size_t at, std::uint32_t v) {
  Put(&cells_, cell - 32 + 4 + at, v);
}

std::string CellWriter::Hive(std::uint32_t root, const std::string& after) const {
  const std::size_t used = 32 + cells_.size();
  const std::size_t bin = (used + 8 + 4095) & ~std::size_t{4095};
  std::string hive(4096, '\0');
  hive.replace(0, 4, "regf");
  Put(&hive, 12, static_cast<std::uint32_t>(kFixtureTime));
  Put(&hive, 16, static_cast<std::uint32_t>(kFixtureTime >> 32));
  Put(&hive, 20, 1);
  Put(&hive, 24, 5);
  Put(&hive, 32, 1);
  Put(&hive, 36, root);
  Put(&hive, 40, static_cast<std::uint32_t>(bin));
  Put(&hive, 44, 1);
  SetSequence(&hive, 1, 1);
  std::string header = "hbin" + Le32Bytes(0) + Le32Bytes(static_cast<std::uint32_t>(bin));
  header.resize(32, '\0');
  std::string tail = Le32Bytes(static_cast<std::uint32_t>(bin - used));
  tail.resize(bin - used, '\0');
  return hive + header + cells_ + tail + after;
}

}  // namespace hivefix
