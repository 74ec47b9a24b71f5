// Listing a Wine prefix key's subkeys and values. A run's first lists index
// only the keys beneath the listed one, as a pattern's walk stays beneath
// the keys it names; later ones, and lists of the top keys, whose children
// come from several files, use the whole index.
#include "RegistryFiles/Wine/wine_prefix_impl.h"

namespace platform {

void WinePrefixStore::Impl::LoadAll() {
  LoadSystem();
  LoadUser();
  LoadUserDef();
}

KeyId WinePrefixStore::Impl::ListedKey(const std::string& path) {
  if (lazy_) Prepare(DecodePath(path), true);
  KeyId key = Resolve(path);
  if (lazyFailed_ || (lazy_ && (key == root_ || key == users_))) {
    SwitchToFull();
    key = Resolve(path);
  }
  if (!lazy_) LoadAll();
  return key;
}

void WinePrefixStore::Impl::IndexChildren() {
  if (childStart_.size() == keys_.Size() + 1) return;
  // Counted per parent, then placed: two passes, no list per key.
  childStart_.assign(keys_.Size() + 1, 0);
  for (KeyId k = 0; k < keys_.Size(); ++k) {
    if (keys_.Parent(k) != kNoKey) ++childStart_[keys_.Parent(k) + 1];
  }
  for (std::size_t i = 1; i < childStart_.size(); ++i) childStart_[i] += childStart_[i - 1];
  children_.assign(childStart_.back(), kNoKey);
  std::vector<std::uint32_t> next(childStart_.begin(), childStart_.end() - 1);
  for (KeyId k = 0; k < keys_.Size(); ++k) {
    if (keys_.Parent(k) != kNoKey) children_[next[keys_.Parent(k)]++] = k;
  }
}

bool WinePrefixStore::Impl::KeyNames(const std::string& path, std::vector<std::string>* names) {
  const std::uint64_t faults = MappingFaults();
  const KeyId key = ListedKey(path);
  if (!Settle(faults, key != kNoKey)) return false;
  IndexChildren();
  names->clear();
  for (std::uint32_t i = childStart_[key]; i < childStart_[key + 1]; ++i) {
    const U16 name = keys_.Name(children_[i]);
    names->push_back(NarrowToAnsi(name.data(), name.size()));
  }
  return true;
}

bool WinePrefixStore::Impl::ValueNames(const std::string& path, std::vector<std::string>* names) {
  const std::uint64_t faults = MappingFaults();
  const KeyId key = ListedKey(path);
  if (!Settle(faults, key != kNoKey)) return false;
  std::vector<U16> units;
  values_.Names(keys_, key, &units);
  names->clear();
  for (const U16& name : units) names->push_back(NarrowToAnsi(name.data(), name.size()));
  return true;
}

bool WinePrefixStore::Impl::IsLinkChild(const std::string& parent, const std::string& name) {
  const std::uint64_t faults = MappingFaults();
  const KeyId key = ListedKey(parent);
  if (!Settle(faults, key != kNoKey)) return false;
  WidenAnsi(name, &sub_);
  const KeyId child = Find(key, sub_.data(), sub_.size());
  return child != kNoKey && IsLink(child);
}

}  // namespace platform
