#include "RegistryFiles/Hives/hive_deleted.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "RegistryFiles/Hives/hive_cells.h"
#include "RegistryFiles/Hives/hive_deleted_scan.h"

namespace platform {
namespace {

using deleted::Claims;
using deleted::Found;
using deleted::HiveMap;
using deleted::kBase;
using deleted::kNoCell;
using deleted::Span;

// Windows nests keys no deeper than this.
constexpr std::size_t kMaxDepth = 512;
// What the paths of one hive may hold in all, in UTF-16 units, a name
// costing its length and the string that holds it: deep chains that many
// keys share would otherwise multiply the hive's size.
constexpr std::size_t kPathUnitsPerByte = 2, kPathUnitsFree = 65536, kNameCost = 16;
constexpr std::size_t kSegment = 16344;  // a big data segment's bytes
constexpr std::uint16_t kCompressedKeyName = 0x0020;
constexpr std::uint16_t kCompressedValueName = 0x0001;

std::uint64_t Le64(const std::uint8_t* p) {
  return CellLe32(p) | std::uint64_t{CellLe32(p + 4)} << 32;
}

// The file offset a cell field names; 0 when it names none inside `size`.
std::uint64_t Target(const std::uint8_t* field, std::size_t size) {
  const std::uint32_t rel = CellLe32(field);
  const std::uint64_t at = kBase + std::uint64_t{rel};
  return rel != kNoCell && at % 8 == 0 && at < size ? at : 0;
}

// The key nodes above the recovered ones, live or recovered themselves,
// each read once: a chain that loops, breaks or runs deep ends there.
class Ancestry {
 public:
  Ancestry(const std::uint8_t* hive, std::size_t size, const HiveMap& map)
      : hive_(hive),
        size_(size),
        map_(map),
        cells_(hive, size),
        budget_(kPathUnitsPerByte * std::uint64_t{size} + kPathUnitsFree) {}

  // The path of the key node at `at`, its own name last.
  void Path(std::size_t at, std::vector<std::u16string>* path, bool* partial) {
    const long node = Resolve(at);
    if (node < 0) return;
    std::vector<long> chain;
    std::uint64_t cost = 0;
    for (long n = node; n >= 0 && chain.size() < kMaxDepth; n = nodes_[n].parent) {
      cost += kNameCost + nodes_[n].name.Length();
      if (cost > budget_) break;
      chain.push_back(n);
    }
    const Node& own = nodes_[node];
    *partial = !own.complete || own.depth > kMaxDepth;
    if (cost > budget_) {
      // Past the budget a key keeps its own name only.
      chain.assign(1, node);
      *partial = true;
    } else {
      budget_ -= cost;
    }
    for (auto n = chain.rbegin(); n != chain.rend(); ++n) path->push_back(nodes_[*n].name.Text());
  }

 private:
  static constexpr long kRoot = -1, kBroken = -2, kWalking = -3;
  struct Node {
    StoredName name;
    long parent = kBroken;
    std::size_t depth = 0;
    bool complete = false;
  };

  // The name and parent field of a key node that is live or recovered.
  bool Read(std::uint64_t at, StoredName* name, const std::uint8_t** nk) const {
    std::size_t cell = 0;
    if (cells_.Key(at, &cell)) {
      *nk = hive_ + at + 4;
      return cells_.KeyName(at, name);
    }
    if (at == 0 || map_.FoundKey(at) < 0) return false;
    *nk = hive_ + at + 4;
    *name = {*nk + 76, CellLe16(*nk + 72), (CellLe16(*nk + 2) & kCompressedKeyName) != 0};
    return true;
  }

  long Resolve(std::uint64_t start) {
    std::vector<std::pair<std::uint64_t, StoredName>> walked;
    long base = kBroken;
    for (std::uint64_t at = start;;) {
      if (at != 0 && at == map_.root()) {
        base = kRoot;
        break;
      }
      const auto known = index_.find(at);
      if (known != index_.end()) {
        base = known->second == kWalking ? kBroken : known->second;  // a loop breaks here
        break;
      }
      StoredName name;
      const std::uint8_t* nk = nullptr;
      if (!Read(at, &name, &nk)) break;
      index_[at] = kWalking;
      walked.emplace_back(at, name);
      at = Target(nk + 16, size_);
    }
    for (auto w = walked.rbegin(); w != walked.rend(); ++w) {
      Node node;
      node.name = w->second;
      node.parent = base < 0 ? kBroken : base;
      node.depth = base >= 0 ? nodes_[base].depth + 1 : 1;
      node.complete = base == kRoot || (base >= 0 && nodes_[base].complete);
      nodes_.push_back(node);
      base = static_cast<long>(nodes_.size()) - 1;
      index_[w->first] = base;
    }
    return base;
  }

  const std::uint8_t* hive_;
  std::size_t size_;
  const HiveMap& map_;
  HiveCells cells_;
  std::uint64_t budget_;  // path units still to hand out
  std::vector<Node> nodes_;
  std::unordered_map<std::uint64_t, long> index_;
};

class Recovery {
 public:
  Recovery(const std::uint8_t* hive, std::size_t size)
      : hive_(hive),
        size_(size),
        map_(hive, size),
        claims_(size),
        ancestry_(hive, size, map_),
        linked_(map_.values().size(), false) {
    // Recovered records own their bytes: data said to lie there was overwritten.
    for (const Found& f : map_.keys()) claims_.Claim(f.at, f.at + f.used);
    for (const Found& f : map_.values()) claims_.Claim(f.at, f.at + f.used);
  }

  DeletedRecords Run() {
    DeletedRecords out;
    for (const Found& f : map_.keys()) {
      if (f.at == map_.root()) continue;
      DeletedKey key;
      ancestry_.Path(f.at, &key.path, &key.partial);
      const std::uint8_t* nk = hive_ + f.at + 4;
      key.lastWrite = Le64(nk + 4);
      key.offset = static_cast<std::uint32_t>(f.at - kBase);
      Values(nk, &key.values);
      out.keys.push_back(std::move(key));
    }
    for (std::size_t i = 0; i < linked_.size(); ++i) {
      if (!linked_[i]) out.orphanValues.push_back(Value(map_.values()[i].at));
    }
    return out;
  }

 private:
  // A dead cell at `at` holding `bytes` after its size field, claimed.
  const std::uint8_t* DeadCell(std::uint64_t at, std::uint64_t bytes) {
    const Span* span = at ? map_.DeadAt(at) : nullptr;
    if (!span || span->end - at < 4 + bytes) return nullptr;
    const std::int64_t raw = static_cast<std::int32_t>(CellLe32(hive_ + at));
    if (static_cast<std::uint64_t>(raw < 0 ? -raw : raw) < 4 + bytes) return nullptr;
    if (!claims_.Claim(at, at + 4 + bytes)) return nullptr;
    return hive_ + at + 4;
  }

  void Values(const std::uint8_t* nk, std::vector<DeletedValue>* out) {
    const std::uint64_t at = Target(nk + 40, size_);
    const Span* span = at ? map_.DeadAt(at) : nullptr;
    if (!span || span->end - at < 8) return;
    // No more entries than the key says, its cell holds or the span keeps.
    const std::int64_t raw = static_cast<std::int32_t>(CellLe32(hive_ + at));
    const std::uint64_t cell = static_cast<std::uint64_t>(raw < 0 ? -raw : raw);
    const std::uint64_t count = std::min<std::uint64_t>(
        {CellLe32(nk + 36), cell < 4 ? 0 : (cell - 4) / 4, (span->end - at - 4) / 4});
    const std::uint8_t* list = count ? DeadCell(at, 4 * count) : nullptr;
    for (std::uint64_t i = 0; list && i < count; ++i) {
      const long v = map_.FoundValue(kBase + std::uint64_t{CellLe32(list + 4 * i)});
      if (v < 0 || linked_[v]) continue;
      linked_[v] = true;
      out->push_back(Value(map_.values()[v].at));
    }
  }

  DeletedValue Value(std::size_t at) {
    const std::uint8_t* vk = hive_ + at + 4;
    DeletedValue value;
    const StoredName name{vk + 20, CellLe16(vk + 2),
                          (CellLe16(vk + 16) & kCompressedValueName) != 0};
    value.name = name.Text();
    value.type = CellLe32(vk + 12);
    value.offset = static_cast<std::uint32_t>(at - kBase);
    value.reliable = Data(vk, &value.data);
    if (!value.reliable) value.data.clear();
    return value;
  }

  bool Data(const std::uint8_t* vk, std::string* data) {
    const std::uint32_t length = CellLe32(vk + 4);
    const std::uint64_t bytes = length & 0x7FFFFFFF;
    if (length & 0x80000000) {
      // Up to four bytes in the offset field itself.
      if (bytes > 4) return false;
      data->assign(reinterpret_cast<const char*>(vk + 8), bytes);
      return true;
    }
    if (bytes == 0) return true;
    const std::uint64_t at = Target(vk + 8, size_);
    if (map_.bigData() && bytes > kSegment) return BigData(at, bytes, data);
    const std::uint8_t* cell = DeadCell(at, bytes);
    if (!cell) return false;
    data->assign(reinterpret_cast<const char*>(cell), bytes);
    return true;
  }

  // A "db" record, its list of segments and the segments, all still dead,
  // each where no other recovered record is.
  bool BigData(std::uint64_t at, std::uint64_t bytes, std::string* data) {
    const std::uint64_t segments = (bytes + kSegment - 1) / kSegment;
    const std::uint8_t* db = DeadCell(at, 8);
    if (!db || db[0] != 'd' || db[1] != 'b' || CellLe16(db + 2) != segments) return false;
    const std::uint8_t* list = DeadCell(Target(db + 4, size_), 4 * segments);
    if (!list) return false;
    for (std::uint64_t i = 0; i < segments; ++i) {
      const std::uint64_t chunk = std::min<std::uint64_t>(kSegment, bytes - i * kSegment);
      const std::uint8_t* segment = DeadCell(Target(list + 4 * i, size_), chunk);
      if (!segment) return false;
      data->append(reinterpret_cast<const char*>(segment), chunk);
    }
    return true;
  }

  const std::uint8_t* hive_;
  std::size_t size_;
  HiveMap map_;
  Claims claims_;
  Ancestry ancestry_;
  std::vector<bool> linked_;  // per found value: a key lists it
};

}  // namespace

DeletedRecords FindDeletedRecords(const std::uint8_t* hive, std::size_t size) {
  if (!hive) return {};
  return Recovery(hive, size).Run();
}

}  // namespace platform
