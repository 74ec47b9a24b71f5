// Reads keys and values out of a Wine prefix the way wineserver's loader
// (server/registry.c) would have put them into its registry tree, without
// building that tree. The files are mapped; one pass over each indexes its
// key headers in a flat table of keys (parent, name, where its sections
// start), and values are decoded from their sections only when asked for.
// A run's first lookups index only the keys along the path asked for.
#include "RegistryFiles/wine_prefix_store.h"

#include <cstdlib>
#include <cstring>

#include "Platform/charset_posix.h"
#include "RegistryFiles/mapped_file.h"
#include "RegistryFiles/wine_header_keys.h"
#include "RegistryFiles/wine_key_table.h"
#include "RegistryFiles/wine_reg_syntax.h"
#include "RegistryFiles/wine_value_cache.h"

namespace platform {
namespace {

using wine::HeaderKeys;
using wine::KeyId;
constexpr KeyId kOffPath = HeaderKeys::kOffPath;
using wine::kNoKey;
using wine::LineReader;
using wine::RawValue;

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegMultiSz = 7;
// wineserver's limit: longer key name elements fail.
constexpr std::size_t kMaxKeyNameLen = 256;
// wineserver gives up on name lookups nested deeper than this.
constexpr int kMaxLinkDepth = 32;
// While a file is indexed, the pages behind the scan are let go this often,
// so that a big file is never resident whole.
constexpr std::size_t kReleaseEvery = 2u << 20;
// Path lookups remembered, for the paths handed out and queried right after.
constexpr std::size_t kPathMemo = 8;
// Keys looked up one by one, scanning only header lines, before the whole
// index is built for the lookups still to come.
constexpr int kLazyLookups = 2;

const char kHeader[] = "WINE REGISTRY Version 2";
const char kDefaultUserSid[] = "S-1-5-21-0-0-0-1000";

// Stored string data as UTF-16 units; an odd trailing byte is dropped.
U16 UnitsOf(const std::string& bytes) {
  U16 units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return units;
}

// Paths we hand out are UTF-8; anything else is taken as ANSI.
U16 DecodePath(const std::string& path) {
  U16 out;
  if (!Utf8ToUtf16(path, &out)) out = WidenAnsi(path);
  return out;
}

enum class Arch { kUnknown, kWin32, kWin64 };

}  // namespace

class WinePrefixStore::Impl {
 public:
  explicit Impl(std::string dir) : dir_(std::move(dir)), values_(maps_) {
    hives_[kSystem].file = "system.reg";
    hives_[kUserDef].file = "userdef.reg";
    hives_[kUser].file = "user.reg";
    Reset();
  }

  // Root paths are made once: the user's SID is read on the first.
  bool RootPath(std::uint32_t root, std::string* path) {
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

  bool OpenKey(const std::string& parent, const std::string& subKey, std::string* path) {
    if (lazy_) {
      WidenAnsi(subKey, &sub_);
      Prepare(DecodePath(parent) + u'\\' + sub_);
    }
    bool found = OpenKeyNow(parent, subKey, path);
    if (lazyFailed_) {
      SwitchToFull();
      found = OpenKeyNow(parent, subKey, path);
    }
    return found;
  }

  bool QueryValue(const std::string& path, const std::string& name, StoredValue* value) {
    bool found = QueryValueNow(path, name, value);
    if (lazyFailed_) {
      SwitchToFull();
      found = QueryValueNow(path, name, value);
    }
    return found;
  }

 private:
  bool OpenKeyNow(const std::string& parent, const std::string& subKey, std::string* path) {
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

  bool QueryValueNow(const std::string& path, const std::string& name, StoredValue* value) {
    const KeyId key = Resolve(path);
    if (key == kNoKey) return false;
    WidenAnsi(name, &name_);
    const char16_t* fold = FoldTable();
    for (char16_t& c : name_) c = fold[c];
    const RawValue* raw = FindValue(key, name_);
    if (!raw) return false;
    value->type = raw->type;
    if (raw->type == kRegSz || raw->type == kRegExpandSz || raw->type == kRegMultiSz) {
      // Each UTF-16 unit becomes one byte.
      units_ = UnitsOf(raw->data);
      value->data = NarrowToAnsi(units_.data(), units_.size());
    } else {
      value->data = raw->data;
    }
    return true;
  }

  enum HiveId { kSystem, kUserDef, kUser, kHives };
  struct Hive {
    const char* file = nullptr;
    bool opened = false;
    bool present = false;
    bool loaded = false;
    bool valid = false;
  };

  // Forgets every key: the files are indexed again as they are next needed.
  void Reset() {
    keys_ = wine::KeyTable();
    headers_ = wine::HeaderKeys(&keys_);
    values_ = wine::ValueCache(maps_);
    for (auto& m : memo_) m.second = kNoKey;
    for (Hive& hive : hives_) hive.loaded = hive.valid = false;
    archKnown_ = false;
    systemArch_ = Arch::kUnknown;
    root_ = keys_.Add(kNoKey, u"Registry");
    machine_ = keys_.Add(root_, u"Machine");
    users_ = keys_.Add(root_, u"User");
    userDefault_ = keys_.Add(users_, u".Default");
  }

  // Lookups give the same answers from keys indexed only along the path
  // asked for, as long as no key on it is a link and no header is malformed
  // (lazyFailed_ then says so). A path on the current one's keeps its keys.
  void Prepare(const U16& path) {
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
    if (lazyBuilt_ > 0 && names.size() <= target_.size() &&
        std::equal(names.begin(), names.end(), target_.begin()))
      return;
    if (lazyBuilt_ >= kLazyLookups) {
      SwitchToFull();
      return;
    }
    ++lazyBuilt_;
    target_.swap(names);
    Reset();
  }

  void SwitchToFull() {
    lazy_ = lazyFailed_ = false;
    target_.clear();
    Reset();
  }

  // Which of the target's names lie beneath a file's base (its names from
  // \Registry down); false when the target is not beneath it.
  bool TargetBelow(std::initializer_list<const U16*> base) {
    if (target_.size() < base.size()) return false;
    std::size_t i = 0;
    for (const U16* name : base) {
      if (FoldCase(*name) != target_[i++]) return false;
    }
    below_.assign(target_.begin() + base.size(), target_.end());
    headers_.SetTarget(&below_);
    return true;
  }

  // The key of a path handed out, as remembered or looked up again.
  KeyId Resolve(const std::string& path) {
    for (const auto& m : memo_) {
      if (m.second != kNoKey && m.first == path) return m.second;
    }
    const U16 decoded = DecodePath(path);
    if (lazy_) Prepare(decoded);
    const KeyId key = ResolveAbsolute(decoded, 0);
    Remember(path, key);
    return key;
  }

  // Lookups give the same answer whenever they are made (files load before
  // anything that depends on them is read), so they can be remembered.
  void Remember(const std::string& path, KeyId key) {
    if (key == kNoKey) return;
    memo_[memoNext_].first.assign(path);
    memo_[memoNext_].second = key;
    memoNext_ = (memoNext_ + 1) % kPathMemo;
  }

  // Whether the key is a link; the file that can make it one is read first,
  // so that no answer depends on what was read before.
  bool IsLink(KeyId key) {
    if (key == machine_) LoadSystem();
    return keys_.IsLink(key);
  }

  // The child of `parent` with that name; the files are read when a key
  // beneath them is first looked for.
  KeyId Find(KeyId parent, const char16_t* name, std::size_t n) {
    if (parent == machine_) {
      LoadSystem();
    } else if (parent == users_) {
      LoadUser();
      LoadUserDef();
    }
    return keys_.Find(parent, name, n);
  }

  // Follows `rel` down from `key` as the server's key lookup does: runs of
  // backslashes separate names, trailing ones are ignored, links are followed
  // (also at the end) once a name has been looked up.
  KeyId Walk(KeyId key, const char16_t* rel, std::size_t n, int depth) {
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

  // An absolute path such as \Registry\Machine\Software.
  KeyId ResolveAbsolute(const U16& path, int depth) {
    static const U16 kRoot = u"\\registry";
    const std::size_t n = kRoot.size();
    if (depth > kMaxLinkDepth || path.size() < n || FoldCase(path.substr(0, n)) != kRoot ||
        (path.size() > n && path[n] != u'\\'))
      return kNoKey;
    if (path.size() <= n + 1) return root_;
    if (path[n + 1] == u'\\') return kNoKey;
    return Walk(root_, path.data() + n + 1, path.size() - n - 1, depth);
  }

  KeyId ResolveLink(KeyId link, int depth) {
    if (depth > kMaxLinkDepth) return kNoKey;
    const RawValue* v = FindValue(link, u"symboliclinkvalue");
    if (!v || v->data.size() < 2 || v->data[0] != '\\' || v->data[1] != '\0') return kNoKey;
    return ResolveAbsolute(UnitsOf(v->data), depth);
  }

  // The last value of that name in the key's sections; null when there is
  // none. Valid until the next lookup.
  const RawValue* FindValue(KeyId key, const U16& folded) {
    // The roots' own values are in the files too.
    if (key == machine_) LoadSystem();
    return values_.Find(keys_, key, folded);
  }

  // Indexes one file below `base`. Arch checks follow the loader: an unknown
  // #arch, or one differing from system.reg's, ends the file there. With
  // `probe`, the file is read only as far as its first #arch decides the
  // system's arch.
  void LoadHive(HiveId id, KeyId base, bool probe) {
    const MappedFile& map = maps_[id];
    const char* text = map.data();
    LineReader reader(text, 0, map.size());
    std::string line;
    if (!reader.Next(&line) || line != kHeader) return;
    if (!probe) hives_[id].valid = true;
    KeyId current = kNoKey;
    std::size_t start = 0, stop = 0, released = 0;
    // Fresh prefixes hold a key header about every 180 bytes.
    if (!probe && !lazy_) keys_.Reserve(map.size() / 128, map.size() / 8);
    while (reader.NextSpan(&start, &stop)) {
      if (!probe && start - released >= kReleaseEvery) map.Release(released = start);
      const char* q = text + start;
      while (q < text + stop && wine::IsSpace(*q)) ++q;
      if (q == text + stop) continue;
      if (*q == '[') {
        current = lazy_ && !probe ? headers_.OpenOnPath(base, q + 1, text + stop)
                                  : headers_.Open(base, q + 1, text + stop, probe);
        if (current != kNoKey) {
          if (!probe && current != kOffPath) keys_.AddSection(current, id, reader.pos());
          // Off the path only the next header matters.
          reader.Seek(current == kOffPath ? wine::NextHeaderLine(text, reader.pos(), map.size())
                                          : wine::SkipQuietLines(text, reader.pos(), map.size()));
        } else if (lazy_ && !probe) {
          lazyFailed_ = true;  // keys before its malformed name stay
        }
      } else if (*q == '@' || *q == '"') {
        if (current != kNoKey && wine::MayContinue(q, text + stop - q)) {
          reader.Text(start, stop, &line);
          wine::SkipContinuations(wine::SkipSpace(line.c_str()), &reader);
        }
      } else if (*q == '#' && q + 1 < text + stop &&
                 (q[1] == 'l' || q[1] == 'a')) {  // none but #link and #arch=
        reader.Text(start, stop, &line);
        const char* p = wine::SkipSpace(line.c_str());
        if (current != kNoKey) {
          if (!probe && current != kOffPath && std::strncmp(p, "#link", 5) == 0) {
            keys_.SetLink(current);
            if (lazy_) lazyFailed_ = true;  // it leads off the path
          }
        } else if (std::strncmp(p, "#arch=", 6) == 0) {
          Arch a = std::strcmp(p + 6, "win32") == 0   ? Arch::kWin32
                   : std::strcmp(p + 6, "win64") == 0 ? Arch::kWin64
                                                      : Arch::kUnknown;
          Arch expected = id == kSystem ? systemArch_ : SystemArch();
          if (a == Arch::kUnknown || (expected != Arch::kUnknown && a != expected)) return;
          if (id == kSystem) systemArch_ = a;
          if (probe) return;
        }
      }
    }
  }

  // Maps the file once; false when it is missing or unreadable. wineserver
  // replaces a file by renaming a new one over it, so the mapping stays whole.
  bool MapHive(HiveId id) {
    Hive& hive = hives_[id];
    if (!hive.opened) {
      hive.opened = true;
      hive.present = maps_[id].Open(dir_ + "/" + hive.file);
    }
    return hive.present;
  }

  void LoadSystem() {
    if (hives_[kSystem].loaded) return;
    hives_[kSystem].loaded = true;
    const bool present = MapHive(kSystem);
    systemArch_ = Arch::kUnknown;
    static const U16 kMachine = u"Machine";
    // Only a walk beneath it reads it.
    if (lazy_ && !TargetBelow({&kMachine})) {
      lazyFailed_ = true;
      return;
    }
    LoadHive(kSystem, machine_, false);
    SetSystemArch(present);
    if (!hives_[kSystem].valid) return;
    // Keys wineserver creates at startup whatever the file holds.
    if (systemArch_ == Arch::kWin64) {
      keys_.Add(keys_.Add(keys_.Add(machine_, u"Software"), u"Classes"), u"Wow6432Node");
    }
    KeyId k = machine_;
    for (const char16_t* n :
         {u"Software", u"Microsoft", u"Windows NT", u"CurrentVersion", u"Perflib", u"009"}) {
      k = keys_.Add(k, n);
    }
  }

  void SetSystemArch(bool present) {
    archKnown_ = true;
    if (!present) {
      const char* arch = std::getenv("WINEARCH");
      systemArch_ = arch && std::strcmp(arch, "win32") == 0 ? Arch::kWin32 : Arch::kWin64;
    } else if (systemArch_ == Arch::kUnknown) {
      systemArch_ = Arch::kWin32;
    }
  }

  // What the whole of system.reg makes the arch, from as little of it as
  // decides: the lines up to its first #arch.
  Arch SystemArch() {
    if (archKnown_) return systemArch_;
    const bool present = MapHive(kSystem);
    LoadHive(kSystem, machine_, true);
    SetSystemArch(present);
    return systemArch_;
  }

  void LoadUserDef() {
    if (hives_[kUserDef].loaded) return;
    hives_[kUserDef].loaded = true;
    MapHive(kUserDef);
    static const U16 kUser = u"User", kDefault = u".Default";
    if (!lazy_ || TargetBelow({&kUser, &kDefault})) LoadHive(kUserDef, userDefault_, false);
  }

  // user.reg names its SID in the comment that says what its keys are
  // relative to; wineserver itself always uses the same one.
  void LoadUser() {
    if (hives_[kUser].loaded) return;
    hives_[kUser].loaded = true;
    ReadSid();
    static const U16 kUsers = u"User";
    const KeyId base = keys_.Add(users_, sid_.data(), sid_.size());
    if (!lazy_ || TargetBelow({&kUsers, &sid_})) LoadHive(kUser, base, false);
  }

  void ReadSid() {
    if (sidRead_) return;
    sidRead_ = true;
    MapHive(kUser);
    sid_ = WidenAnsi(kDefaultUserSid);
    const MappedFile& map = maps_[kUser];
    LineReader reader(map.data(), 0, map.size());
    std::string line;
    static const char kRelative[] = ";; All keys relative to ";
    while (reader.Next(&line)) {
      const char* p = wine::SkipSpace(line.c_str());
      if (*p == '[') break;
      if (std::strncmp(p, kRelative, sizeof kRelative - 1) != 0) continue;
      U16 path;
      if (wine::ParseStr((std::string(p + sizeof kRelative - 1) + '\n').c_str(), '\n', &path) < 0)
        continue;
      static const U16 kPrefix = u"registry\\user\\";
      U16 folded = FoldCase(path);
      if (folded.compare(0, kPrefix.size(), kPrefix) == 0 && path.size() > kPrefix.size() &&
          path.find(u'\\', kPrefix.size()) == U16::npos) {
        sid_ = path.substr(kPrefix.size());
      }
      break;
    }
  }

  const U16& UserSid() {
    ReadSid();
    return sid_;
  }

  std::string dir_;
  MappedFile maps_[kHives];
  wine::KeyTable keys_;
  wine::HeaderKeys headers_{&keys_};
  wine::ValueCache values_;
  KeyId root_ = kNoKey;
  KeyId machine_ = kNoKey;
  KeyId users_ = kNoKey;
  KeyId userDefault_ = kNoKey;
  Hive hives_[kHives];
  Arch systemArch_ = Arch::kUnknown;
  bool archKnown_ = false;
  U16 sid_;
  bool sidRead_ = false;
  // Lookups before the whole index: how many, the path of the last (folded
  // names beneath \Registry), and its names beneath the file being read.
  bool lazy_ = true;
  bool lazyFailed_ = false;
  int lazyBuilt_ = 0;
  std::vector<U16> target_, below_;
  std::pair<std::string, KeyId> memo_[kPathMemo] = {};
  std::string rootPaths_[6];
  U16 sub_, name_, units_;
  std::size_t memoNext_ = 0;
};

WinePrefixStore::WinePrefixStore(std::string prefixDir)
    : impl_(std::make_unique<Impl>(std::move(prefixDir))) {}
WinePrefixStore::~WinePrefixStore() = default;

bool WinePrefixStore::RootPath(std::uint32_t root, std::string* path) {
  return impl_->RootPath(root, path);
}
bool WinePrefixStore::OpenKey(const std::string& parent, const std::string& subKey,
                              std::string* path) {
  return impl_->OpenKey(parent, subKey, path);
}
bool WinePrefixStore::QueryValue(const std::string& path, const std::string& name,
                                 StoredValue* value) {
  return impl_->QueryValue(path, name, value);
}

}  // namespace platform
