#include "RegistryFiles/Hives/hive_cells.h"

#include <algorithm>

namespace platform {
namespace {

constexpr std::uint64_t kFirstCell = 4096 + 32;
// A hard bound on the entries one walk reads, whatever a count claims.
constexpr std::size_t kMaxEntries = 1u << 20;
constexpr std::uint16_t kCompressedKeyName = 0x0020;
constexpr std::uint16_t kCompressedValueName = 0x0001;

// An offset stored in a cell: relative to the first hive bin.
std::uint64_t FileOffset(const unsigned char* p) { return 4096 + std::uint64_t{CellLe32(p)}; }

std::uint32_t Mix(std::uint32_t h, char16_t c) { return (h ^ c) * 16777619u; }

}  // namespace

bool StoredName::Matches(const U16& name) const {
  if (Length() != name.size()) return false;
  const char16_t* fold = FoldTable();
  const char16_t* want = name.data();
  if (compressed) {
    for (std::size_t i = 0; i < size; ++i) {
      if (bytes[i] != want[i] && fold[bytes[i]] != fold[want[i]]) return false;
    }
    return true;
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto unit = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    if (unit != want[i] && fold[unit] != fold[want[i]]) return false;
  }
  return true;
}

std::uint32_t StoredName::FoldedHash() const {
  const char16_t* fold = FoldTable();
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i < Length(); ++i) h = Mix(h, fold[Unit(i)]);
  return h;
}

U16 StoredName::Text() const {
  U16 text(Length(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = Unit(i);
  return text;
}

std::uint32_t FoldedHash(const U16& name) {
  const char16_t* fold = FoldTable();
  std::uint32_t h = 2166136261u;
  for (char16_t c : name) h = Mix(h, fold[c]);
  return h;
}

const unsigned char* HiveCells::Cell(std::uint64_t offset, std::size_t* size) const {
  if (offset < kFirstCell || offset % 4 != 0 || offset >= size_ || size_ - offset < 8) {
    return nullptr;
  }
  const auto raw = static_cast<std::int32_t>(CellLe32(image_ + offset));
  // Only allocated cells (negative sizes) hold records.
  if (raw > -8 || static_cast<std::uint64_t>(-static_cast<std::int64_t>(raw)) > size_ - offset) {
    return nullptr;
  }
  *size = static_cast<std::size_t>(-static_cast<std::int64_t>(raw)) - 4;
  return image_ + offset + 4;
}

const unsigned char* HiveCells::Key(std::uint64_t node, std::size_t* size) const {
  const unsigned char* d = Cell(node, size);
  if (!d || *size < 76 || d[0] != 'n' || d[1] != 'k') return nullptr;
  return d;
}

bool HiveCells::KeyName(std::uint64_t node, StoredName* name) const {
  std::size_t size = 0;
  const unsigned char* d = Key(node, &size);
  if (!d) return false;
  const std::size_t length = CellLe16(d + 72);
  if (length > size - 76) return false;
  *name = {d + 76, length, (CellLe16(d + 2) & kCompressedKeyName) != 0};
  return true;
}

bool HiveCells::ValueName(std::uint64_t value, StoredName* name) const {
  std::size_t size = 0;
  const unsigned char* d = Cell(value, &size);
  if (!d || size < 20 || d[0] != 'v' || d[1] != 'k') return false;
  const std::size_t length = CellLe16(d + 2);
  if (length > size - 20) return false;
  *name = {d + 20, length, (CellLe16(d + 16) & kCompressedValueName) != 0};
  return true;
}

std::uint32_t HiveCells::SubkeyCount(std::uint64_t node) const {
  std::size_t size = 0;
  const unsigned char* d = Key(node, &size);
  return d ? CellLe32(d + 20) : 0;
}

const unsigned char* HiveCells::Values(std::uint64_t node, std::size_t* count) const {
  std::size_t size = 0;
  const unsigned char* d = Key(node, &size);
  if (!d || CellLe32(d + 36) == 0) return nullptr;
  std::size_t listSize = 0;
  const unsigned char* list = Cell(FileOffset(d + 40), &listSize);
  if (!list) return nullptr;
  *count = std::min<std::size_t>({CellLe32(d + 36), listSize / 4, kMaxEntries});
  return list;
}

SubkeyCursor::SubkeyCursor(const HiveCells& cells, std::uint64_t node) : cells_(cells) {
  std::size_t size = 0;
  const unsigned char* d = cells.Key(node, &size);
  if (!d) return;
  budget_ = std::min<std::size_t>(CellLe32(d + 20), kMaxEntries);
  if (budget_ == 0) return;
  std::size_t listSize = 0;
  const unsigned char* list = cells.Cell(FileOffset(d + 28), &listSize);
  if (!list || listSize < 4) return;
  if (list[0] == 'r' && list[1] == 'i') {
    root_ = list + 4;
    rootCount_ = std::min<std::size_t>(CellLe16(list + 2), (listSize - 4) / 4);
  } else {
    // A list of one leaf: the root is the key's own field.
    root_ = d + 28;
    rootCount_ = 1;
  }
}

bool SubkeyCursor::NextLeaf() {
  while (rootAt_ < rootCount_) {
    std::size_t size = 0;
    const unsigned char* leaf = cells_.Cell(FileOffset(root_ + 4 * rootAt_++), &size);
    if (!leaf || size < 4 || leaf[0] != 'l') continue;
    // An ri never holds another ri.
    if (leaf[1] == 'f' || leaf[1] == 'h') {
      stride_ = 8;
    } else if (leaf[1] == 'i') {
      stride_ = 4;
    } else {
      continue;
    }
    leaf_ = leaf + 4;
    leafCount_ = std::min<std::size_t>(CellLe16(leaf + 2), (size - 4) / stride_);
    leafAt_ = 0;
    return true;
  }
  return false;
}

std::uint64_t SubkeyCursor::Next() {
  while (budget_ > 0) {
    if (leafAt_ >= leafCount_ && !NextLeaf()) return 0;
    if (leafAt_ >= leafCount_) continue;
    --budget_;
    const std::uint64_t child = FileOffset(leaf_ + stride_ * leafAt_++);
    std::size_t size = 0;
    if (cells_.Key(child, &size)) return child;
  }
  return 0;
}

}  // namespace platform
