#include "RegistryFiles/Hives/hive_deleted_scan.h"

#include <algorithm>

namespace platform {
namespace deleted {
namespace {

constexpr std::size_t kBinHeader = 32;
constexpr std::size_t kPage = 4096;
constexpr std::size_t kKeyNode = 4 + 76;  // size field and fixed part
constexpr std::size_t kValueKey = 4 + 20;
// Windows stamps every key it writes: bytes that only look like a key node
// rarely hold a time between 1990 and 2290 (FILETIMEs).
constexpr std::uint64_t kFirstTime = 122756256000000000ull, kLastTime = 217427328000000000ull;

// The size a cell's field gives, whichever its sign; 0 when it is no size.
std::size_t CellSize(const std::uint8_t* p) {
  const std::int64_t raw = static_cast<std::int32_t>(CellLe32(p));
  const auto size = static_cast<std::size_t>(raw < 0 ? -raw : raw);
  return size >= 8 && size % 8 == 0 ? size : 0;
}

// A record of `used` bytes at `at` whose size field covers it.
std::size_t Whole(const std::uint8_t* hive, std::size_t at, std::size_t end, std::size_t used) {
  return used <= end - at && CellSize(hive + at) >= used ? used : 0;
}

// What the record opening an allocated cell fills, when it says; 0 for raw
// data and value lists, whose length only their owner knows.
std::size_t RecordUsed(const std::uint8_t* d, std::size_t room) {
  if (room < 4) return 0;
  const char a = static_cast<char>(d[0]), b = static_cast<char>(d[1]);
  if (a == 'n' && b == 'k' && room >= 76) return kKeyNode + CellLe16(d + 72);
  if (a == 'v' && b == 'k' && room >= 20) return kValueKey + CellLe16(d + 2);
  if (a == 's' && b == 'k' && room >= 20) return 4 + 20 + std::size_t{CellLe32(d + 16)};
  if (a == 'l' && (b == 'f' || b == 'h')) return 8 + 8 * std::size_t{CellLe16(d + 2)};
  if ((a == 'l' && b == 'i') || (a == 'r' && b == 'i')) return 8 + 4 * std::size_t{CellLe16(d + 2)};
  if (a == 'd' && b == 'b' && room >= 8) return 4 + 8;
  return 0;
}

}  // namespace

std::size_t KeyNodeAt(const std::uint8_t* hive, std::size_t at, std::size_t end) {
  if (end - at < kKeyNode || hive[at + 4] != 'n' || hive[at + 5] != 'k') return 0;
  const std::size_t name = CellLe16(hive + at + 4 + 72);
  const std::uint64_t time = CellLe32(hive + at + 8) | std::uint64_t{CellLe32(hive + at + 12)}
                                                           << 32;
  // Only the root may go without a name.
  if (!name || time < kFirstTime || time > kLastTime) return 0;
  return Whole(hive, at, end, kKeyNode + name);
}

std::size_t ValueKeyAt(const std::uint8_t* hive, std::size_t at, std::size_t end) {
  if (end - at < kValueKey || hive[at + 4] != 'v' || hive[at + 5] != 'k') return 0;
  return Whole(hive, at, end, kValueKey + CellLe16(hive + at + 4 + 2));
}

HiveMap::HiveMap(const std::uint8_t* hive, std::size_t size) : hive_(hive) {
  if (size < kPage + kBinHeader) return;
  root_ = kBase + std::size_t{CellLe32(hive + 36)};
  bigData_ = CellLe32(hive + 24) > 3;  // minor version
  // hivex reads no further than the base block's bin size says.
  const std::size_t limit = kPage + std::min<std::size_t>(CellLe32(hive + 40), size - kPage);
  std::size_t at = kPage;
  while (limit - at >= kPage && std::equal(hive + at, hive + at + 4, "hbin") &&
         CellLe32(hive + at + 4) == at - kPage) {
    const std::size_t bin = CellLe32(hive + at + 8);
    if (bin < kPage || bin % kPage != 0 || bin > limit - at) break;
    WalkBin(at, at + bin);
    at += bin;
  }
  // Past the last bin everything is dead: bins the hive dropped, padding.
  AddDead(at, size);
}

void HiveMap::WalkBin(std::size_t bin, std::size_t end) {
  std::size_t at = bin + kBinHeader;
  while (end - at >= 8) {
    const std::size_t size = CellSize(hive_ + at);
    if (!size || size > end - at) return;  // the chain breaks: the rest is not ours to read
    if (static_cast<std::int32_t>(CellLe32(hive_ + at)) > 0) {
      AddDead(at, at + size);
    } else {
      const std::size_t used = Round8(RecordUsed(hive_ + at + 4, size - 4));
      if (used >= 8 && used < size) AddDead(at + used, at + size);
    }
    at += size;
  }
}

void HiveMap::AddDead(std::size_t begin, std::size_t end) {
  if (end <= begin || end - begin < 8) return;
  dead_.push_back({begin, end});
  // Records inside at 8-byte steps; a coalesced cell holds several, each
  // after the bytes the one before it fills.
  std::size_t at = begin;
  while (at < end && end - at >= kValueKey) {
    if (const std::size_t used = KeyNodeAt(hive_, at, end)) {
      keys_.push_back({at, used});
      at += Round8(used);
    } else if (const std::size_t used = ValueKeyAt(hive_, at, end)) {
      values_.push_back({at, used});
      at += Round8(used);
    } else {
      at += 8;
    }
  }
}

const Span* HiveMap::DeadAt(std::uint64_t at) const {
  auto it = std::upper_bound(dead_.begin(), dead_.end(), at,
                             [](std::uint64_t a, const Span& s) { return a < s.begin; });
  if (it == dead_.begin()) return nullptr;
  --it;
  return at < it->end ? &*it : nullptr;
}

long HiveMap::Find(const std::vector<Found>& found, std::uint64_t at) {
  auto it = std::lower_bound(found.begin(), found.end(), at,
                             [](const Found& f, std::uint64_t a) { return f.at < a; });
  return it != found.end() && it->at == at ? static_cast<long>(it - found.begin()) : -1;
}

bool Claims::Claim(std::size_t begin, std::size_t end) {
  for (std::size_t slot = begin / 8; slot < (end + 7) / 8; ++slot) {
    std::uint64_t& word = bits_[slot / 64];
    const std::uint64_t bit = std::uint64_t{1} << (slot % 64);
    if (word & bit) return false;
    word |= bit;
  }
  return true;
}

}  // namespace deleted
}  // namespace platform
