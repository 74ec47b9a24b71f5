// Listing a Wine prefix key's subkeys and values. A run's first lists index
// only the keys beneath the listed one, as a pattern's walk stays beneath
// the keys it names; later ones, and lists of the top keys, whose children
// come from several files, use the whole index.
#include <cctype>
#include <cstdio>
#include <cstring>

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

bool WinePrefixStore::Impl::KeyNames(const std::string& path, std::vector<U16>* names) {
  const std::uint64_t faults = MappingFaults();
  const KeyId key = ListedKey(path);
  if (!Settle(faults, key != kNoKey)) return false;
  IndexChildren();
  names->clear();
  for (std::uint32_t i = childStart_[key]; i < childStart_[key + 1]; ++i) {
    names->push_back(keys_.Name(children_[i]));
  }
  return true;
}

bool WinePrefixStore::Impl::ValueNames(const std::string& path, std::vector<U16>* names) {
  const std::uint64_t faults = MappingFaults();
  const KeyId key = ListedKey(path);
  if (!Settle(faults, key != kNoKey)) return false;
  values_.Names(keys_, key, names);
  return true;
}

bool WinePrefixStore::Impl::IsLinkChild(const std::string& parent, const U16& name) {
  const std::uint64_t faults = MappingFaults();
  const KeyId key = ListedKey(parent);
  if (!Settle(faults, key != kNoKey)) return false;
  const KeyId child = Find(key, name.data(), name.size());
  return child != kNoKey && IsLink(child);
}

bool WinePrefixStore::Impl::KeyInfo(const std::string& path, RegKeyInfo* info) {
  const std::uint64_t faults = MappingFaults();
  const KeyId key = ListedKey(path);
  if (key == kNoKey) return Settle(faults, false);
  IndexChildren();
  IndexEarliest();
  std::vector<U16> values;
  values_.Names(keys_, key, &values);
  // wineserver makes the keys above the files' own at its start, at a time
  // no file holds: they read as 0.
  const bool made = key == root_ || key == machine_ || key == users_ || keys_.Parent(key) == users_;
  const std::uint64_t time = made || earliest_[key] == kNoKey ? 0 : SectionTime(earliest_[key]);
  if (!Settle(faults, true)) return false;
  info->lastWrite = time;
  info->subKeys = childStart_[key + 1] - childStart_[key];
  info->values = static_cast<std::uint32_t>(values.size());
  return true;
}

// The loader gives a key, and each key above it still without one, the time
// of the section it is reading: so a key's time is that of the first section
// loaded in its subtree. Parents come before their children in the table.
void WinePrefixStore::Impl::IndexEarliest() {
  if (earliest_.size() == keys_.Size()) return;
  earliest_.assign(keys_.Size(), kNoKey);
  const auto before = [this](std::uint32_t a, std::uint32_t b) {
    if (b == kNoKey) return a != kNoKey;
    if (a == kNoKey) return false;
    const wine::Section &x = keys_.section(a), &y = keys_.section(b);
    return x.hive != y.hive ? x.hive < y.hive : x.pos < y.pos;
  };
  for (KeyId k = static_cast<KeyId>(keys_.Size()); k-- > 0;) {
    if (before(keys_.FirstSection(k), earliest_[k])) earliest_[k] = keys_.FirstSection(k);
    const KeyId parent = keys_.Parent(k);
    if (parent != kNoKey && before(earliest_[k], earliest_[parent]))
      earliest_[parent] = earliest_[k];
  }
}

// A section's time: its first #time= line (a FILETIME in hex), else the
// seconds after its header's name, else 0 (the loader takes the current time).
std::uint64_t WinePrefixStore::Impl::SectionTime(std::uint32_t section) {
  const wine::Section& s = keys_.section(section);
  const MappedFile& map = maps_[s.hive];
  const char* text = map.data();
  LineReader reader(text, s.pos, map.size());
  std::string line;
  std::size_t start = 0, stop = 0;
  while (reader.NextSpan(&start, &stop)) {
    reader.Text(start, stop, &line);
    const char* p = wine::SkipSpace(line.c_str());
    if (*p == '[') break;
    if (*p == '@' || *p == '"') {
      wine::SkipContinuations(p, &reader);
    } else if (std::strncmp(p, "#time=", 6) == 0) {
      std::uint64_t time = 0;
      for (p += 6; std::isxdigit(static_cast<unsigned char>(*p)); ++p) {
        time =
            time << 4 | static_cast<std::uint64_t>(*p <= '9' ? *p - '0' : (*p | 0x20) - 'a' + 10);
      }
      return time;
    }
  }
  // The header is the line before the section.
  std::size_t end = s.pos;
  if (end > 0 && text[end - 1] == '\n') --end;
  std::size_t begin = end;
  while (begin > 0 && text[begin - 1] != '\n') --begin;
  line.assign(text + begin, end - begin);
  line = line.substr(0, line.find('\0'));
  const char* p = wine::SkipSpace(line.c_str());
  U16 name;
  const int used = *p == '[' ? wine::ParseStr(p + 1, ']', &name) : -1;
  unsigned seconds = 0;
  if (used < 0 || std::sscanf(p + 1 + used, " %u", &seconds) != 1) return 0;
  // From 1970 to 1601, in 100 ns.
  return seconds * 10000000ull + 116444736000000000ull;
}

}  // namespace platform
