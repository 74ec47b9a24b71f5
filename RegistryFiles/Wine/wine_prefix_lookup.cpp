// The Wine prefix reader's lookups: roots, keys and values found through
// the keys indexed so far, links followed as wineserver follows them.
#include "RegistryFiles/Wine/wine_prefix_impl.h"

namespace platform {

bool WinePrefixStore::Impl::RootPath(std::uint32_t root, std::string* path) {
  if (root >= 0x80000000 && root <= 0x80000005 && !rootPaths_[root - 0x80000000].empty()) {
    *path = rootPaths_[root - 0x80000000];
    return true;
  }
  U16 p;
  switch (root) {
    case 0x80000000:
      p = u"\\Registry\\Machine\\Software\\Classes";
      break;
    case 0x80000001:
      p = u"\\Registry\\User\\" + UserSid();
      break;
    case 0x80000002:
      p = u"\\Registry\\Machine";
      break;
    case 0x80000003:
      p = u"\\Registry\\User";
      break;
    case 0x80000005:
      p = u"\\Registry\\Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current";
      break;
    default:
      return false;
  }
  *path = rootPaths_[root - 0x80000000] = Utf16ToUtf8(p);
  return true;
}

bool WinePrefixStore::Impl::OpenKey(const std::string& parent, const std::string& subKey,
                                    std::string* path) {
  if (lazy_) {
    WidenAnsi(subKey, &sub_);
    Prepare(DecodePath(parent) + u'\\' + sub_, false);
  }
  const std::uint64_t faults = MappingFaults();
  bool found = OpenKeyNow(parent, subKey, path);
  if (lazyFailed_) {
    SwitchToFull();
    found = OpenKeyNow(parent, subKey, path);
  }
  return Settle(faults, found);
}

bool WinePrefixStore::Impl::QueryValue(const std::string& path, const std::string& name,
                                       StoredValue* value) {
  const std::uint64_t faults = MappingFaults();
  bool found = QueryValueNow(path, name, value);
  if (lazyFailed_) {
    SwitchToFull();
    found = QueryValueNow(path, name, value);
  }
  return Settle(faults, found);
}

bool WinePrefixStore::Impl::Settle(std::uint64_t faults, bool found) {
  if (MappingFaults() == faults) return found;
  ReportChangedMappings();
  values_ = wine::ValueCache(maps_);
  return false;
}

bool WinePrefixStore::Impl::OpenKeyNow(const std::string& parent, const std::string& subKey,
                                       std::string* path) {
  const KeyId base = Resolve(parent);
  // Below a key, a path may not start with a backslash.
  if (base == kNoKey || (!subKey.empty() && subKey[0] == '\\')) return false;
  WidenAnsi(subKey, &sub_);
  const KeyId key = Walk(base, sub_.data(), sub_.size(), 0);
  if (key == kNoKey) return false;
  keys_.PathUtf8(key, path);
  Remember(*path, key);
  return true;
}

bool WinePrefixStore::Impl::QueryValueNow(const std::string& path, const std::string& name,
                                          StoredValue* value) {
  const KeyId key = Resolve(path);
  if (key == kNoKey) return false;
  WidenAnsi(name, &name_);
  const char16_t* fold = FoldTable();
  for (char16_t& c : name_) c = fold[c];
  const RawValue* raw = FindValue(key, name_);
  if (!raw) return false;
  value->type = raw->type;
  if (IsStringType(raw->type)) {
    // Each UTF-16 unit becomes one byte.
    units_ = UnitsOf(raw->data);
    value->data = NarrowToAnsi(units_.data(), units_.size());
  } else {
    value->data = raw->data;
  }
  return true;
}

void WinePrefixStore::Impl::Reset() {
  keys_ = wine::KeyTable();
  headers_ = wine::HeaderKeys(&keys_);
  values_ = wine::ValueCache(maps_);
  for (auto& m : memo_) m.second = kNoKey;
  for (Hive& hive : hives_) hive.loaded = hive.valid = false;
  childStart_.clear();
  archKnown_ = false;
  systemArch_ = Arch::kUnknown;
  root_ = keys_.Add(kNoKey, u"Registry");
  machine_ = keys_.Add(root_, u"Machine");
  users_ = keys_.Add(root_, u"User");
  userDefault_ = keys_.Add(users_, u".Default");
}

void WinePrefixStore::Impl::Prepare(const U16& path, bool subtree) {
  std::vector<U16> names;
  const char16_t* fold = FoldTable();
  for (std::size_t i = 0; i < path.size();) {
    std::size_t j = i;
    while (j < path.size() && path[j] != u'\\') ++j;
    if (j > i) {
      names.emplace_back(path, i, j - i);
      for (char16_t& c : names.back()) c = fold[c];
    }
    i = j + 1;
  }
  if (names.empty() || names[0] != u"registry") return;  // the walk fails anyway
  names.erase(names.begin());
  if (lazyBuilt_ > 0 && Covers(names, subtree)) return;
  if (lazyBuilt_ >= kLazyLookups) {
    SwitchToFull();
    return;
  }
  ++lazyBuilt_;
  target_.swap(names);
  subtree_ = subtree;
  Reset();
}

bool WinePrefixStore::Impl::Covers(const std::vector<U16>& names, bool subtree) const {
  if (subtree_ && names.size() >= target_.size() &&
      std::equal(target_.begin(), target_.end(), names.begin()))
    return true;
  return !subtree && names.size() <= target_.size() &&
         std::equal(names.begin(), names.end(), target_.begin());
}

void WinePrefixStore::Impl::SwitchToFull() {
  lazy_ = lazyFailed_ = false;
  target_.clear();
  Reset();
}

bool WinePrefixStore::Impl::TargetBelow(std::initializer_list<const U16*> base) {
  std::size_t i = 0;
  for (const U16* name : base) {
    if (i == target_.size()) {
      if (!subtree_) return false;
      break;
    }
    if (FoldCase(*name) != target_[i++]) return false;
  }
  below_.assign(target_.begin() + i, target_.end());
  headers_.SetTarget(&below_, subtree_);
  return true;
}

KeyId WinePrefixStore::Impl::Resolve(const std::string& path) {
  for (const auto& m : memo_) {
    if (m.second != kNoKey && m.first == path) return m.second;
  }
  const U16 decoded = DecodePath(path);
  if (lazy_) Prepare(decoded, false);
  const KeyId key = ResolveAbsolute(decoded, 0);
  Remember(path, key);
  return key;
}

void WinePrefixStore::Impl::Remember(const std::string& path, KeyId key) {
  if (key == kNoKey) return;
  memo_[memoNext_].first.assign(path);
  memo_[memoNext_].second = key;
  memoNext_ = (memoNext_ + 1) % kPathMemo;
}

bool WinePrefixStore::Impl::IsLink(KeyId key) {
  if (key == machine_) LoadSystem();
  return keys_.IsLink(key);
}

KeyId WinePrefixStore::Impl::Find(KeyId parent, const char16_t* name, std::size_t n) {
  if (parent == machine_) {
    LoadSystem();
  } else if (parent == users_) {
    LoadUser();
    LoadUserDef();
  }
  return keys_.Find(parent, name, n);
}

KeyId WinePrefixStore::Impl::Walk(KeyId key, const char16_t* rel, std::size_t n, int depth) {
  if (n == 0) return key;
  std::size_t i = 0;
  for (;;) {
    if (IsLink(key) && (key = ResolveLink(key, depth + 1)) == kNoKey) return kNoKey;
    if (i >= n) return key;
    std::size_t j = i;
    while (j < n && rel[j] != u'\\') ++j;
    if (j - i > kMaxKeyNameLen) return kNoKey;
    key = Find(key, rel + i, j - i);
    if (key == kNoKey) return kNoKey;
    i = j;
    while (i < n && rel[i] == u'\\') ++i;
  }
}

KeyId WinePrefixStore::Impl::ResolveAbsolute(const U16& path, int depth) {
  static const U16 kRoot = u"\\registry";
  const std::size_t n = kRoot.size();
  if (depth > kMaxLinkDepth || path.size() < n || FoldCase(path.substr(0, n)) != kRoot ||
      (path.size() > n && path[n] != u'\\'))
    return kNoKey;
  if (path.size() <= n + 1) return root_;
  if (path[n + 1] == u'\\') return kNoKey;
  return Walk(root_, path.data() + n + 1, path.size() - n - 1, depth);
}

KeyId WinePrefixStore::Impl::ResolveLink(KeyId link, int depth) {
  if (depth > kMaxLinkDepth) return kNoKey;
  const RawValue* v = FindValue(link, u"symboliclinkvalue");
  if (!v || v->data.size() < 2 || v->data[0] != '\\' || v->data[1] != '\0') return kNoKey;
  return ResolveAbsolute(UnitsOf(v->data), depth);
}

const RawValue* WinePrefixStore::Impl::FindValue(KeyId key, const U16& folded) {
  // The roots' own values are in the files too.
  if (key == machine_) LoadSystem();
  return values_.Find(keys_, key, folded);
}

}  // namespace platform
