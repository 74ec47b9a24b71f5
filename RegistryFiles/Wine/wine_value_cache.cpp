#include "RegistryFiles/Wine/wine_value_cache.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>

namespace platform {
namespace wine {
namespace {

// Index slots (16 bytes each) kept for the keys with many values, the most
// recently asked first: a few MB at most, whatever the list asks.
constexpr std::size_t kSlotBudget = 1 << 17;
// A key with more value lines than this is indexed; fewer are just read.
constexpr std::size_t kIndexAfter = 32;

std::uint64_t HashFolded(const U16& s) {
  std::uint64_t h = 1469598103934665603ull;
  for (char16_t c : s) h = (h ^ c) * 1099511628211ull;
  return h ^ (h >> 29);
}

void Fold(U16* s) {
  const char16_t* fold = FoldTable();
  for (char16_t& c : *s) c = fold[c];
}

}  // namespace

void ValueCache::NameAt(const Slot& slot, U16* folded) {
  const MappedFile& file = files_[slot.hive];
  LineReader reader(file.data(), slot.pos, file.size());
  reader.Next(&line_);
  ParseValueName(SkipSpace(line_.c_str()), folded);
  Fold(folded);
}

void ValueCache::Insert(Index* index, const Slot& slot, const U16& folded) {
  if ((index->count + 1) * 2 > index->slots.size()) {
    std::vector<Slot> old(index->slots.empty() ? 8 : index->slots.size() * 2);
    old.swap(index->slots);
    const std::size_t mask = index->slots.size() - 1;
    for (const Slot& s : old) {
      if (s.hive == kNoKey) continue;
      std::size_t i = s.hash & mask;
      while (index->slots[i].hive != kNoKey) i = (i + 1) & mask;
      index->slots[i] = s;
    }
  }
  const std::size_t mask = index->slots.size() - 1;
  U16 other;
  for (std::size_t i = slot.hash & mask;; i = (i + 1) & mask) {
    Slot& s = index->slots[i];
    if (s.hive == kNoKey) {
      s = slot;
      ++index->count;
      return;
    }
    if (s.hash != slot.hash) continue;
    NameAt(s, &other);
    if (other == folded) {
      s = slot;  // a later line of the same name wins
      return;
    }
  }
}

// Calls `line` for each value line of the key's sections, each read up to the
// next header line, with continuations skipped as the loader did; `line`
// returns false to stop.
template <typename Line>
bool ValueCache::ForEachValueLine(const KeyTable& keys, KeyId key, Line line) {
  for (std::uint32_t i = keys.FirstSection(key); i != kNoKey; i = keys.section(i).next) {
    const Section& section = keys.section(i);
    const MappedFile& file = files_[section.hive];
    const char* text = file.data();
    LineReader reader(text, section.pos, file.size());
    std::size_t start = 0, stop = 0;
    while (reader.NextSpan(&start, &stop)) {
      const char* q = text + start;
      while (q < text + stop && IsSpace(*q)) ++q;
      if (q == text + stop) continue;
      if (*q == '[') break;
      if (*q != '@' && *q != '"') continue;
      if (!line(q, text + stop, start, stop, reader, section)) return false;
      if (MayContinue(q, text + stop - q)) {
        reader.Text(start, stop, &line_);
        SkipContinuations(SkipSpace(line_.c_str()), &reader);
      }
    }
  }
  return true;
}

void ValueCache::Build(const KeyTable& keys, KeyId key, Index* index) {
  ForEachValueLine(keys, key,
                   [&](const char*, const char*, std::size_t start, std::size_t stop,
                       LineReader& reader, const Section& section) {
                     reader.Text(start, stop, &line_);
                     const char* p = SkipSpace(line_.c_str());
                     if (!ParseValueName(p, &name_)) return true;
                     Fold(&name_);
                     Slot slot;
                     slot.hash = HashFolded(name_);
                     slot.pos = start;
                     slot.hive = section.hive;
                     Insert(index, slot, name_);
                     return true;
                   });
}

void ValueCache::Names(const KeyTable& keys, KeyId key, std::vector<U16>* names) {
  names->clear();
  // A key may hold a million values: each name is checked against a set.
  std::unordered_set<U16> folded;
  ForEachValueLine(keys, key,
                   [&](const char*, const char*, std::size_t start, std::size_t stop,
                       LineReader& reader, const Section&) {
                     reader.Text(start, stop, &line_);
                     if (!ParseValueName(SkipSpace(line_.c_str()), &name_)) return true;
                     U16 fold = name_;
                     Fold(&fold);
                     if (folded.insert(std::move(fold)).second) names->push_back(name_);
                     return true;
                   });
}

ValueCache::Index* ValueCache::Cached(KeyId key) {
  for (std::size_t i = 0; i < recent_.size(); ++i) {
    if (recent_[i].key != key) continue;
    std::rotate(recent_.begin(), recent_.begin() + i, recent_.begin() + i + 1);
    return &recent_.front();
  }
  return nullptr;
}

ValueCache::Index& ValueCache::Indexed(const KeyTable& keys, KeyId key) {
  recent_.emplace(recent_.begin());
  Index& index = recent_.front();
  index.key = key;
  Build(keys, key, &index);
  slots_ += index.slots.size();
  // The least recent go once the budget is spent; the newest always stays.
  while (slots_ > kSlotBudget && recent_.size() > 1) {
    slots_ -= recent_.back().slots.size();
    recent_.pop_back();
  }
  return index;
}

const RawValue* ValueCache::Find(const KeyTable& keys, KeyId key, const U16& folded) {
  if (key != lastKey_ || folded != lastName_) {
    lastKey_ = kNoKey;
    lastFound_ = Lookup(keys, key, folded, &lastValue_);
    lastKey_ = key;
    lastName_ = folded;
  }
  return lastFound_ ? &lastValue_ : nullptr;
}

namespace {

// Whether the value line at `q` (its first char) names `folded`, compared on
// the raw bytes while they are plain ASCII; -1 when the name must be
// unescaped to tell.
int PlainNameIs(const char* q, const char* stop, const U16& folded, const char16_t* fold) {
  if (*q == '@') return folded.empty() ? -1 : 0;  // ParseValueName confirms the '='
  const char* p = q + 1;
  std::size_t n = 0;
  for (; p < stop && *p != '"'; ++p, ++n) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '\\' || c < 0x20 || c > 0x7e) return -1;
    if (n >= folded.size() || fold[c] != folded[n]) return 0;
  }
  if (p == stop) return -1;
  return n == folded.size() ? -1 : 0;
}

}  // namespace

bool ValueCache::Lookup(const KeyTable& keys, KeyId key, const U16& folded, RawValue* value) {
  const Slot* found = nullptr;
  Slot scanned;
  const Index* index = Cached(key);
  if (!index && !Scan(keys, key, folded, &scanned)) index = &Indexed(keys, key);
  if (index) {
    found = Probe(*index, folded);
  } else if (scanned.hive != kNoKey) {
    found = &scanned;
  }
  if (!found) return false;
  const MappedFile& file = files_[found->hive];
  LineReader reader(file.data(), found->pos, file.size());
  reader.Next(&line_);
  const char* p = SkipSpace(line_.c_str());
  *value = DecodeData(p + ParseValueName(p, &name_), &reader);
  return true;
}

const ValueCache::Slot* ValueCache::Probe(const Index& index, const U16& folded) {
  if (index.slots.empty()) return nullptr;
  const std::uint64_t hash = HashFolded(folded);
  const std::size_t mask = index.slots.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& s = index.slots[i];
    if (s.hive == kNoKey) return nullptr;
    if (s.hash != hash) continue;
    NameAt(s, &name_);
    if (name_ == folded) return &s;
  }
}

// One pass over the key's sections for the last line naming `folded`; false
// when the key holds so many values that an index pays.
bool ValueCache::Scan(const KeyTable& keys, KeyId key, const U16& folded, Slot* found) {
  const char16_t* fold = FoldTable();
  std::size_t lines = 0;
  return ForEachValueLine(keys, key,
                          [&](const char* q, const char* end, std::size_t start, std::size_t stop,
                              LineReader& reader, const Section& section) {
                            if (++lines > kIndexAfter) return false;
                            if (PlainNameIs(q, end, folded, fold) == 0) return true;
                            reader.Text(start, stop, &line_);
                            const char* p = SkipSpace(line_.c_str());
                            if (!ParseValueName(p, &name_)) return true;
                            for (char16_t& c : name_) c = fold[c];
                            if (name_ == folded) {
                              found->pos = start;
                              found->hive = section.hive;
                            }
                            return true;
                          });
}

}  // namespace wine
}  // namespace platform
