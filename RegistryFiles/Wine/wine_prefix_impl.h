// The state of the Wine prefix reader: its lookups, defined here, and the
// loading of its files into keys (wine_prefix_load.cpp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "Platform/charset_posix.h"
#include "Platform/registry_store.h"
#include "RegistryFiles/Wine/wine_header_keys.h"
#include "RegistryFiles/Wine/wine_key_table.h"
#include "RegistryFiles/Wine/wine_prefix_store.h"
#include "RegistryFiles/Wine/wine_reg_syntax.h"
#include "RegistryFiles/Wine/wine_value_cache.h"
#include "RegistryFiles/mapped_file.h"
#include "RegistryFiles/mapping_guard.h"

namespace platform {
namespace wine_prefix {

// wineserver's limit: longer key name elements fail.
constexpr std::size_t kMaxKeyNameLen = 256;
// wineserver gives up on name lookups nested deeper than this.
constexpr int kMaxLinkDepth = 32;
// Path lookups remembered, for the paths handed out and queried right after.
constexpr std::size_t kPathMemo = 8;
// Keys looked up one by one, scanning only header lines, before the whole
// index is built for the lookups still to come.
constexpr int kLazyLookups = 2;

// Paths we hand out are UTF-8; anything else is taken as ANSI.
inline U16 DecodePath(const std::string& path) {
  U16 out;
  if (!Utf8ToUtf16(path, &out)) out = WidenAnsi(path);
  return out;
}

enum class Arch { kUnknown, kWin32, kWin64 };

}  // namespace wine_prefix

using wine::KeyId;
using wine::kNoKey;
using wine::LineReader;
using wine::RawValue;
using wine_prefix::Arch;
using wine_prefix::DecodePath;
using wine_prefix::kLazyLookups;
using wine_prefix::kMaxKeyNameLen;
using wine_prefix::kMaxLinkDepth;
using wine_prefix::kPathMemo;

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

  bool OpenKey(const std::string& parent, const U16& subKey, std::string* path) {
    if (lazy_) Prepare(DecodePath(parent) + u'\\' + subKey, false);
    const std::uint64_t faults = MappingFaults();
    bool found = OpenKeyNow(parent, subKey, path);
    if (lazyFailed_) {
      SwitchToFull();
      found = OpenKeyNow(parent, subKey, path);
    }
    return Settle(faults, found);
  }

  // Listing (wine_prefix_enum.cpp): a run's first lists index only the
  // keys beneath the listed one.
  bool KeyNames(const std::string& path, std::vector<U16>* names);
  bool ValueNames(const std::string& path, std::vector<U16>* names);
  bool IsLinkChild(const std::string& parent, const U16& name);
  // The time as wineserver's loader sets it (wine_prefix_enum.cpp).
  bool KeyInfo(const std::string& path, RegKeyInfo* info);

  bool QueryValue(const std::string& path, const U16& name, StoredValue* value) {
    const std::uint64_t faults = MappingFaults();
    bool found = QueryValueNow(path, name, value);
    if (lazyFailed_) {
      SwitchToFull();
      found = QueryValueNow(path, name, value);
    }
    return Settle(faults, found);
  }

 private:
  // A lookup that finds a file cut short reads as missing, and so does the
  // value kept from it; afterwards the file reads as zeros past the cut,
  // damage that reads as missing.
  bool Settle(std::uint64_t faults, bool found) {
    if (MappingFaults() == faults) return found;
    ReportChangedMappings();
    values_ = wine::ValueCache(maps_);
    return false;
  }

  bool OpenKeyNow(const std::string& parent, const U16& subKey, std::string* path) {
    const KeyId base = Resolve(parent);
    // Below a key, a path may not start with a backslash.
    if (base == kNoKey || (!subKey.empty() && subKey[0] == u'\\')) return false;
    const KeyId key = Walk(base, subKey.data(), subKey.size(), 0);
    if (key == kNoKey) return false;
    keys_.PathUtf8(key, path);
    Remember(*path, key);
    return true;
  }

  bool QueryValueNow(const std::string& path, const U16& name, StoredValue* value) {
    const KeyId key = Resolve(path);
    if (key == kNoKey) return false;
    const char16_t* fold = FoldTable();
    name_.resize(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) name_[i] = fold[name[i]];
    const RawValue* raw = FindValue(key, name_);
    if (!raw) return false;
    value->type = raw->type;
    value->data = raw->data;
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
    childStart_.clear();
    earliest_.clear();
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
  // With `subtree`, every key beneath the path is indexed too, for lists.
  void Prepare(const U16& path, bool subtree) {
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

  // Whether the keys indexed for the current target answer for `names`: a
  // key on its path, or any key beneath it when its subtree is indexed.
  bool Covers(const std::vector<U16>& names, bool subtree) const {
    if (subtree_ && names.size() >= target_.size() &&
        std::equal(target_.begin(), target_.end(), names.begin()))
      return true;
    return !subtree && names.size() <= target_.size() &&
           std::equal(names.begin(), names.end(), target_.begin());
  }

  void SwitchToFull() {
    lazy_ = lazyFailed_ = false;
    target_.clear();
    Reset();
  }

  // Which of the target's names lie beneath a file's base (its names from
  // \Registry down); false when the target is not beneath it. A file wholly
  // beneath a target whose subtree is wanted is read whole.
  bool TargetBelow(std::initializer_list<const U16*> base) {
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

  // The key of a path handed out, as remembered or looked up again.
  KeyId Resolve(const std::string& path);

  // Lookups give the same answer whenever they are made (files load before
  // anything that depends on them is read), so they can be remembered.
  void Remember(const std::string& path, KeyId key);

  // Whether the key is a link; the file that can make it one is read first,
  // so that no answer depends on what was read before.
  bool IsLink(KeyId key);

  // The child of `parent` with that name; the files are read when a key
  // beneath them is first looked for.
  KeyId Find(KeyId parent, const char16_t* name, std::size_t n);

  // Follows `rel` down from `key` as the server's key lookup does: runs of
  // backslashes separate names, trailing ones are ignored, links are followed
  // (also at the end) once a name has been looked up.
  KeyId Walk(KeyId key, const char16_t* rel, std::size_t n, int depth);

  // An absolute path such as \Registry\Machine\Software.
  KeyId ResolveAbsolute(const U16& path, int depth);

  KeyId ResolveLink(KeyId link, int depth);

  // The last value of that name in the key's sections; null when there is
  // none. Valid until the next lookup.
  const RawValue* FindValue(KeyId key, const U16& folded);

  // Indexes one file below `base`. Arch checks follow the loader: an unknown
  // #arch, or one differing from system.reg's, ends the file there. With
  // `probe`, the file is read only as far as its first #arch decides the
  // system's arch.
  void LoadHive(HiveId id, KeyId base, bool probe);

  // Maps the file once; false when it is missing or unreadable. wineserver
  // replaces a file by renaming a new one over it, so the mapping stays whole.
  bool MapHive(HiveId id);

  void LoadSystem();

  void SetSystemArch(bool present);

  // What the whole of system.reg makes the arch, from as little of it as
  // decides: the lines up to its first #arch.
  Arch SystemArch();

  void LoadUserDef();

  // user.reg names its SID in the comment that says what its keys are
  // relative to; wineserver itself always uses the same one.
  void LoadUser();

  void ReadSid();

  // The key whose subkeys or values are listed, with every file that can
  // hold keys beneath it read.
  KeyId ListedKey(const std::string& path);
  void LoadAll();
  // Children of each key, grouped by parent, for the keys indexed so far.
  void IndexChildren();
  // The load order's first section of each key's subtree, for its time.
  void IndexEarliest();
  std::uint64_t SectionTime(std::uint32_t section);

  const U16& UserSid();

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
  bool subtree_ = false;  // the keys beneath the target are indexed too
  int lazyBuilt_ = 0;
  std::vector<U16> target_, below_;
  std::pair<std::string, KeyId> memo_[kPathMemo] = {};
  std::string rootPaths_[6];
  U16 name_;
  std::size_t memoNext_ = 0;
  std::vector<KeyId> children_;
  std::vector<std::uint32_t> childStart_;  // by key; one more at the end
  std::vector<std::uint32_t> earliest_;    // by key: a section, or kNoKey
};

}  // namespace platform
