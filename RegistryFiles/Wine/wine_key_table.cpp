#include "RegistryFiles/Wine/wine_key_table.h"

namespace platform {
namespace wine {
namespace {

template <typename Char>
std::uint32_t HashName(const char16_t* fold, KeyId parent, const Char* name, std::size_t n) {
  std::uint32_t h = 2166136261u ^ (parent * 0x9E3779B1u);
  for (std::size_t i = 0; i < n; ++i) h = (h ^ fold[static_cast<char16_t>(name[i])]) * 16777619u;
  h ^= h >> 16;  // murmur3's finish, so that the low bits index well
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  return h ^ (h >> 16);
}

}  // namespace

template <typename Char>
bool KeyTable::Matches(const Key& key, KeyId parent, const Char* name, std::size_t n) const {
  if (key.parent != parent || key.nameLen != n) return false;
  const char16_t* fold = fold_;
  const char16_t* own = names_.data() + key.nameOff;
  for (std::size_t i = 0; i < n; ++i) {
    if (fold[own[i]] != fold[static_cast<char16_t>(name[i])]) return false;
  }
  return true;
}

KeyId KeyTable::Find(KeyId parent, const char16_t* name, std::size_t n) const {
  return Find(parent, name, n, HashName(fold_, parent, name, n));
}

template <typename Char>
KeyId KeyTable::Find(KeyId parent, const Char* name, std::size_t n, std::uint32_t hash) const {
  if (slots_.empty()) return kNoKey;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const KeyId id = slots_[i];
    if (id == kNoKey) return kNoKey;
    if (keys_[id].hash == hash && Matches(keys_[id], parent, name, n)) return id;
  }
}

void KeyTable::Reserve(std::size_t keys, std::size_t nameUnits) {
  // Only what is filled in is ever touched: the rest costs address space,
  // where growing by copies would fault in twice the final size.
  keys_.reserve(keys_.size() + keys);
  names_.reserve(names_.size() + nameUnits);
  sections_.reserve(sections_.size() + keys);
}

void KeyTable::Grow() {
  std::vector<KeyId> slots(slots_.empty() ? 64 : slots_.size() * 2, kNoKey);
  const std::size_t mask = slots.size() - 1;
  for (KeyId id = 0; id < keys_.size(); ++id) {
    std::size_t i = keys_[id].hash & mask;
    while (slots[i] != kNoKey) i = (i + 1) & mask;
    slots[i] = id;
  }
  slots_.swap(slots);
}

KeyId KeyTable::Add(KeyId parent, const char16_t* name, std::size_t n) {
  return Insert(parent, name, n);
}

KeyId KeyTable::Add(KeyId parent, const char* name, std::size_t n) {
  return Insert(parent, name, n);
}

template <typename Char>
KeyId KeyTable::Insert(KeyId parent, const Char* name, std::size_t n) {
  const std::uint32_t hash = HashName(fold_, parent, name, n);
  const KeyId found = Find(parent, name, n, hash);
  if (found != kNoKey) return found;
  const int depth = parent == kNoKey ? 0 : keys_[parent].depth + 1;
  if (depth > kMaxKeyDepth) return kNoKey;
  const auto id = static_cast<KeyId>(keys_.size());
  Key key;
  key.parent = parent;
  key.nameOff = static_cast<std::uint32_t>(names_.size());
  key.hash = hash;
  key.nameLen = static_cast<std::uint16_t>(n);
  key.depth = static_cast<std::uint16_t>(depth);
  key.link = 0;
  names_.insert(names_.end(), name, name + n);
  keys_.push_back(key);
  if (keys_.size() * 2 > slots_.size()) {
    Grow();
  } else {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = key.hash & mask;
    while (slots_[i] != kNoKey) i = (i + 1) & mask;
    slots_[i] = id;
  }
  return id;
}

void KeyTable::AddSection(KeyId key, std::uint32_t hive, std::uint64_t pos) {
  const auto index = static_cast<std::uint32_t>(sections_.size());
  sections_.push_back({pos, hive, kNoKey});
  Key& k = keys_[key];
  if (k.last == kNoKey) {
    k.first = index;
  } else {
    sections_[k.last].next = index;
  }
  k.last = index;
}

U16 KeyTable::Path(KeyId key) const {
  std::vector<KeyId> chain;
  for (KeyId k = key; k != kNoKey; k = keys_[k].parent) chain.push_back(k);
  U16 path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += u'\\';
    path.append(names_.data() + keys_[*it].nameOff, keys_[*it].nameLen);
  }
  return path;
}

}  // namespace wine
}  // namespace platform

namespace platform {
namespace wine {

void KeyTable::PathUtf8(KeyId key, std::string* out) const {
  // Names of ASCII only, the most, go over byte for byte; any other unit
  // sends the whole path through the converter.
  std::size_t size = 0;
  for (KeyId k = key; k != kNoKey; k = keys_[k].parent) size += keys_[k].nameLen + 1;
  out->resize(size);
  char* dst = &(*out)[0];
  char16_t seen = 0;
  for (KeyId k = key; k != kNoKey; k = keys_[k].parent) {
    const char16_t* name = names_.data() + keys_[k].nameOff;
    const std::size_t n = keys_[k].nameLen;
    size -= n;
    for (std::size_t i = 0; i < n; ++i) {
      seen |= name[i];
      dst[size + i] = static_cast<char>(name[i]);
    }
    dst[--size] = '\\';
  }
  if (seen >= 0x80) *out = Utf16ToUtf8(Path(key));
}

}  // namespace wine
}  // namespace platform
