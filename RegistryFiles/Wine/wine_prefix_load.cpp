// Loads the files of a Wine prefix into the reader's keys as wineserver's
// loader (server/registry.c) reads them: only their key headers are indexed.
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

#include "Platform/command_line.h"
#include "RegistryFiles/Wine/wine_prefix_impl.h"
#include "RegistryFiles/registry_source.h"

namespace platform {
namespace {

constexpr KeyId kOffPath = wine::HeaderKeys::kOffPath;
// While a file is indexed, the pages behind the scan are let go this often,
// so that a big file is never resident whole.
constexpr std::size_t kReleaseEvery = 2u << 20;

const char kHeader[] = "WINE REGISTRY Version 2";
const char kDefaultUserSid[] = "S-1-5-21-0-0-0-1000";

}  // namespace

// Indexes one file below `base`. Arch checks follow the loader: an unknown
// #arch, or one differing from system.reg's, ends the file there. With
// `probe`, the file is read only as far as its first #arch decides the
// system's arch.
void WinePrefixStore::Impl::LoadHive(HiveId id, KeyId base, bool probe) {
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
bool WinePrefixStore::Impl::MapHive(HiveId id) {
  Hive& hive = hives_[id];
  if (!hive.opened) {
    hive.opened = true;
    // Files copied from Windows come in any letter case; Wine's own name
    // comes first.
    std::string path = dir_ + "/" + hive.file;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) path = FindEntry(dir_, hive.file);
    hive.present = !path.empty() && maps_[id].Open(path);
    // A file that is there but cannot be read must not pass for empty values.
    if (!path.empty() && !hive.present) {
      WriteErrorLine("hivTAP: fichier du registre illisible : " + Utf8ToAnsi(path));
    }
  }
  return hive.present;
}

void WinePrefixStore::Impl::LoadSystem() {
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

void WinePrefixStore::Impl::SetSystemArch(bool present) {
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
Arch WinePrefixStore::Impl::SystemArch() {
  if (archKnown_) return systemArch_;
  const bool present = MapHive(kSystem);
  LoadHive(kSystem, machine_, true);
  SetSystemArch(present);
  return systemArch_;
}

void WinePrefixStore::Impl::LoadUserDef() {
  if (hives_[kUserDef].loaded) return;
  hives_[kUserDef].loaded = true;
  MapHive(kUserDef);
  static const U16 kUser = u"User", kDefault = u".Default";
  if (!lazy_ || TargetBelow({&kUser, &kDefault})) LoadHive(kUserDef, userDefault_, false);
}

// user.reg names its SID in the comment that says what its keys are
// relative to; wineserver itself always uses the same one.
void WinePrefixStore::Impl::LoadUser() {
  if (hives_[kUser].loaded) return;
  hives_[kUser].loaded = true;
  ReadSid();
  static const U16 kUsers = u"User";
  const KeyId base = keys_.Add(users_, sid_.data(), sid_.size());
  if (!lazy_ || TargetBelow({&kUsers, &sid_})) LoadHive(kUser, base, false);
}

void WinePrefixStore::Impl::ReadSid() {
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

const U16& WinePrefixStore::Impl::UserSid() {
  ReadSid();
  return sid_;
}

}  // namespace platform
