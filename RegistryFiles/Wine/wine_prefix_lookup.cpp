// The Wine prefix reader's lookups: paths handed out, names beneath a key,
// links followed as the server follows them.
#include "RegistryFiles/Wine/wine_prefix_impl.h"

namespace platform {

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
