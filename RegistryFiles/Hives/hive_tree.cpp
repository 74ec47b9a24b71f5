// The hive tree: mounts opened on first use, the path walk, links, the
// profiles behind HKU and HKCU, and the merged HKCR.
#include "RegistryFiles/Hives/hive_tree.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Platform/command_line.h"
#include "Platform/registry_store.h"
#include "RegistryFiles/Hives/hive_file.h"
#include "RegistryFiles/Hives/hive_index.h"
#include "RegistryFiles/Hives/hive_layout.h"
#include "RegistryFiles/Hives/hive_node.h"
#include "RegistryFiles/Hives/hive_tree_impl.h"

namespace platform {
namespace {

constexpr std::uint32_t kClassesRoot = 0x80000000;
constexpr std::uint32_t kCurrentUser = 0x80000001;
constexpr std::uint32_t kLocalMachine = 0x80000002;
constexpr std::uint32_t kUsers = 0x80000003;
constexpr std::uint32_t kCurrentConfig = 0x80000005;
// As the Wine prefix reader: longer name elements fail; links nest so deep.
constexpr std::size_t kMaxKeyNameLen = 256;
constexpr int kMaxLinkDepth = 32;

}  // namespace

using hive_tree::InHive;
using hive_tree::kKeySymLink;
using hive_tree::Mount;

HiveTree::Impl::Impl(const std::string& folder, bool drive, std::shared_ptr<const DriveFiles> files)
    : files_(std::move(files)), layout_(FindHives(folder, drive, Files())) {
  machine_ = {{u"software", Add(layout_.software)},
              {u"system", Add(layout_.system)},
              {u"sam", Add(layout_.sam)},
              {u"security", Add(layout_.security)}};
  mounts_[machine_[1].second].system = true;
  const int def = Add(layout_.defaultUser);
  users_ = {{u".default", def}, {u"s-1-5-18", def}};
}

std::optional<KeyRef> HiveTree::Impl::Root(std::uint32_t root) {
  KeyRef key;
  switch (root) {
    case kClassesRoot:
      key = ClassesRoot();
      break;
    case kCurrentUser:
      ChooseCurrentUser();
      if (Hive(currentUser_)) key = InHive(currentUser_, hivex_root(Hive(currentUser_)->get()));
      if (!Hive(currentUser_)) key = UserWithoutHive();
      break;
    case kLocalMachine:
      key.kind = KeyRef::kMachine;
      break;
    case kUsers:
      key.kind = KeyRef::kUsers;
      break;
    case kCurrentConfig:
      key = CurrentConfig();
      break;
    default:
      return std::nullopt;
  }
  return key;
}

bool HiveTree::Impl::Query(const KeyRef& key, const U16& name, StoredValue* value) {
  int mount = key.mount;
  hive_node_h node = key.node;
  // A merged key's values are the user's when the user has the key.
  if (key.kind == KeyRef::kMerged && !node) {
    mount = key.mount2;
    node = key.node2;
  } else if (key.kind != KeyRef::kHive && key.kind != KeyRef::kMerged) {
    return false;
  }
  const HiveFile* hive = Hive(mount);
  if (!hive || !node) return false;
  const hive_value_h v = names_.Value(*hive, mount, node, name);
  return v && ReadRawValue(*hive, v, value);
}

int HiveTree::Impl::Add(const std::string& file) {
  mounts_.push_back(Mount());
  mounts_.back().file = file;
  return static_cast<int>(mounts_.size() - 1);
}

const HiveFile* HiveTree::Impl::Hive(int mount) {
  if (mount < 0 || static_cast<std::size_t>(mount) >= mounts_.size()) return nullptr;
  Mount& m = mounts_[mount];
  if (!m.tried) {
    m.tried = true;
    if (!m.file.empty()) m.hive = Files().OpenHive(m.file);
    if (m.hive) Link(mount);
  }
  return m.hive.get();
}

void HiveTree::Impl::Link(int mount) {
  Mount& m = mounts_[mount];
  const hive_node_h root = hivex_root(m.hive->get());
  if (m.system) {
    // Windows makes CurrentControlSet at boot from Select.
    const hive_node_h select = FindChild(*m.hive, root, u"Select");
    for (const char16_t* entry : {u"Current", u"Default", u"LastKnownGood"}) {
      const auto n = select ? ReadDword(*m.hive, select, entry) : std::nullopt;
      if (!n || *n > 999) continue;
      char name[16];
      std::snprintf(name, sizeof name, "ControlSet%03u", static_cast<unsigned>(*n));
      const hive_node_h set = FindChild(*m.hive, root, WidenAnsi(name));
      if (!set) continue;
      m.from = root;
      m.name = u"currentcontrolset";
      m.shown = u"CurrentControlSet";
      m.to = InHive(mount, set);
      controlSet_ = name;
      break;
    }
  } else if (m.classes >= 0) {
    // HKCU\Software\Classes is the user's UsrClass.dat.
    const HiveFile* classes = Hive(m.classes);
    if (!classes) return;
    m.from = FindChild(*m.hive, root, u"Software");
    m.name = u"classes";
    m.shown = u"Classes";
    m.to = InHive(m.classes, hivex_root(classes->get()));
  }
}

std::optional<KeyRef> HiveTree::Impl::Walk(KeyRef key, const U16& rel, int depth) {
  std::size_t i = 0;
  while (i < rel.size()) {
    std::size_t j = rel.find(u'\\', i);
    if (j == U16::npos) j = rel.size();
    if (j - i > kMaxKeyNameLen) return std::nullopt;
    const std::optional<KeyRef> child = Child(key, rel.substr(i, j - i), depth);
    if (!child) return std::nullopt;
    key = *child;
    i = rel.find_first_not_of(u'\\', j);
    if (i == U16::npos) i = rel.size();
  }
  return key;
}

std::optional<KeyRef> HiveTree::Impl::Mounted(const std::vector<std::pair<U16, int>>& table,
                                              const U16& name) {
  const U16 folded = FoldCase(name);
  for (const auto& [mountName, mount] : table) {
    if (mountName != folded) continue;
    const HiveFile* hive = Hive(mount);
    if (hive) return InHive(mount, hivex_root(hive->get()));
  }
  return std::nullopt;
}

std::optional<KeyRef> HiveTree::Impl::Child(const KeyRef& key, const U16& name, int depth) {
  switch (key.kind) {
    case KeyRef::kMachine:
      return Mounted(machine_, name);
    case KeyRef::kUsers:
      if (key.mount >= 0) return UserChild(key, name);
      ListProfiles();
      return Mounted(users_, name);
    case KeyRef::kHive:
      return HiveChild(key.mount, key.node, name, depth);
    case KeyRef::kMerged: {
      std::optional<KeyRef> user, machine;
      if (key.node) user = HiveChild(key.mount, key.node, name, depth);
      if (key.node2) machine = HiveChild(key.mount2, key.node2, name, depth);
      if (!user && !machine) return std::nullopt;
      if (user && user->kind != KeyRef::kHive) return user;
      if (machine && machine->kind != KeyRef::kHive) return user ? user : machine;
      KeyRef merged{KeyRef::kMerged, -1, 0, -1, 0};
      if (user) std::tie(merged.mount, merged.node) = std::make_pair(user->mount, user->node);
      if (machine) {
        std::tie(merged.mount2, merged.node2) = std::make_pair(machine->mount, machine->node);
      }
      return merged;
    }
    case KeyRef::kAbsent:
      break;
  }
  return std::nullopt;
}

std::optional<KeyRef> HiveTree::Impl::HiveChild(int mount, hive_node_h node, const U16& name,
                                                int depth) {
  const HiveFile* hive = Hive(mount);
  if (!hive) return std::nullopt;
  const Mount& m = mounts_[mount];
  if (m.from == node && FoldCase(name) == m.name) return m.to;
  const hive_node_h child = names_.Child(*hive, mount, node, name);
  if (!child) return std::nullopt;
  if (!(hive->KeyFlags(child) & kKeySymLink)) return InHive(mount, child);
  return FollowLink(*hive, child, depth + 1);
}

std::optional<KeyRef> HiveTree::Impl::FollowLink(const HiveFile& hive, hive_node_h link,
                                                 int depth) {
  StoredValue v;
  const hive_value_h h = FindValue(hive, link, u"SymbolicLinkValue");
  if (depth > kMaxLinkDepth || !h || !ReadRawValue(hive, h, &v) || v.type != kRegLink) {
    return std::nullopt;
  }
  const U16 target = UnitsOf(v.data);
  static const U16 kRoot = u"\\registry\\";
  if (target.size() < kRoot.size() || FoldCase(target.substr(0, kRoot.size())) != kRoot) {
    return std::nullopt;
  }
  std::size_t j = target.find(u'\\', kRoot.size());
  if (j == U16::npos) j = target.size();
  const U16 top = FoldCase(target.substr(kRoot.size(), j - kRoot.size()));
  KeyRef start;
  if (top == u"machine") {
    start.kind = KeyRef::kMachine;
  } else if (top == u"user") {
    start.kind = KeyRef::kUsers;
  } else {
    return std::nullopt;
  }
  return Walk(start, target.substr(std::min(j + 1, target.size())), depth);
}

void HiveTree::Impl::ListProfiles() {
  if (profilesListed_) return;
  profilesListed_ = true;
  if (!layout_.drive) return;
  const HiveFile* software = Hive(machine_[0].second);
  std::optional<KeyRef> list;
  if (software) {
    list = Walk(InHive(machine_[0].second, hivex_root(software->get())),
                u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0);
  }
  if (!list || list->kind != KeyRef::kHive) {
    // Without it, the profile folders are all there is to go by; their
    // SIDs are unknown, so HKU gets none of them.
    profiles_ = ProfilesInUsers(layout_.root, Files());
    std::string names;
    for (const UserProfile& p : profiles_) {
      names += (names.empty() ? "" : ", ") + Utf8ToAnsi(p.folder);
      const int ntuser = Add(p.ntuser);
      mounts_[ntuser].classes = Add(p.classes);
      profileMounts_.push_back(ntuser);
    }
    // "ProfileList illisible, profils pris dans Users : ..."
    Note("hivTAP: ProfileList illisible, profils pris dans Users : " +
         (names.empty() ? std::string("aucun") : names));
    return;
  }
  for (const auto& [sid, node] : Children(*software, list->node)) {
    const std::optional<U16> image = ReadText(*software, node, u"ProfileImagePath");
    if (!image || FoldCase(sid) == u"s-1-5-18") continue;
    profiles_.push_back(ProfileAt(layout_.root, Utf16ToUtf8(sid), *image, Files()));
    const UserProfile& p = profiles_.back();
    const int classes = Add(p.classes);
    const int ntuser = Add(p.ntuser);
    mounts_[ntuser].classes = classes;
    users_.emplace_back(FoldCase(sid), ntuser);
    users_.emplace_back(FoldCase(sid + u"_Classes"), classes);
    profileMounts_.push_back(ntuser);
  }
}

void HiveTree::Impl::Note(const std::string& ansi) {
  if (notes_) {
    notes_->push_back(ansi);
  } else {
    WriteErrorLine(ansi);
  }
}

std::vector<std::string> HiveTree::Impl::Describe() {
  std::vector<std::string> lines;
  notes_ = &lines;
  std::vector<std::string> found;
  const std::pair<const char*, const std::string*> hives[] = {
      {"HKLM\\SYSTEM", &layout_.system},
      {"HKLM\\SOFTWARE", &layout_.software},
      {"HKLM\\SAM", &layout_.sam},
      {"HKLM\\SECURITY", &layout_.security},
      {"HKU\\.DEFAULT", &layout_.defaultUser}};
  for (const auto& [name, file] : hives) {
    if (!file->empty()) found.push_back(std::string("ruche ") + name + " : " + Utf8ToAnsi(*file));
  }
  // "jeu de contrôle courant", "aucun (pas de ruche SYSTEM)", "aucun (SYSTEM\Select
  // n'en désigne aucun)"
  std::string set = "jeu de contr\xF4le courant : ";
  if (layout_.system.empty()) {
    set += "aucun (pas de ruche SYSTEM)";
  } else if (!Hive(machine_[1].second)) {
    set += "aucun (ruche SYSTEM illisible)";
  } else if (controlSet_.empty()) {
    set += "aucun (SYSTEM\\Select n'en d\xE9signe aucun)";
  } else {
    set += controlSet_;
  }
  found.push_back(set);
  ChooseCurrentUser();
  const hive_tree::Mount* user = currentUser_ >= 0 ? &mounts_[currentUser_] : nullptr;
  if (layout_.drive) {
    std::string who = "HKCU : aucun profil";
    for (std::size_t i = 0; i < profileMounts_.size(); ++i) {
      if (profileMounts_[i] != currentUser_) continue;
      const UserProfile& p = profiles_[i];
      who = "HKCU : profil " + Utf8ToAnsi(p.folder) + (p.sid.empty() ? "" : " (" + p.sid + ")");
    }
    found.push_back(who);
  } else if (!user || user->file.empty()) {
    found.push_back("HKCU : pas de NTUSER.DAT");
  }
  if (user && !user->file.empty()) found.push_back("ruche HKCU : " + Utf8ToAnsi(user->file));
  if (user && user->classes >= 0 && !mounts_[user->classes].file.empty()) {
    found.push_back("ruche HKCU\\Software\\Classes : " + Utf8ToAnsi(mounts_[user->classes].file));
  }
  DescribeReplays(&found);
  notes_ = nullptr;
  found.insert(found.end(), lines.begin(), lines.end());
  return found;
}

void HiveTree::Impl::ChooseCurrentUser() {
  if (userChosen_) return;
  userChosen_ = true;
  if (!layout_.drive) {
    currentUser_ = Add(layout_.ntuser);
    mounts_[currentUser_].classes = Add(layout_.classes);
    return;
  }
  ListProfiles();
  const char* wanted = std::getenv("HIVTAP_USER");
  std::string warning;
  const int chosen = ChooseUser(profiles_, Utf8ToAnsi(wanted ? wanted : ""), &warning);
  if (!warning.empty()) Note(warning);
  if (chosen >= 0) currentUser_ = profileMounts_[chosen];
}

KeyRef HiveTree::Impl::ClassesRoot() {
  ChooseCurrentUser();
  KeyRef key{KeyRef::kMerged, -1, 0, -1, 0};
  const int classes = currentUser_ >= 0 ? mounts_[currentUser_].classes : -1;
  if (const HiveFile* user = Hive(classes)) {
    key.mount = classes;
    key.node = hivex_root(user->get());
  }
  if (const HiveFile* software = Hive(machine_[0].second)) {
    const hive_node_h node = FindChild(*software, hivex_root(software->get()), u"Classes");
    if (node) std::tie(key.mount2, key.node2) = std::make_pair(machine_[0].second, node);
  }
  return key;
}

KeyRef HiveTree::Impl::CurrentConfig() {
  KeyRef machine;
  machine.kind = KeyRef::kMachine;
  const std::optional<KeyRef> profiles =
      Walk(machine, u"SYSTEM\\CurrentControlSet\\Hardware Profiles", 0);
  if (!profiles) return KeyRef();
  if (const auto current = Walk(*profiles, u"Current", 0)) return *current;
  const std::optional<KeyRef> db =
      Walk(machine, u"SYSTEM\\CurrentControlSet\\Control\\IDConfigDB", 0);
  const HiveFile* system = Hive(machine_[1].second);
  if (!db || db->kind != KeyRef::kHive || !system) return KeyRef();
  const auto n = ReadDword(*system, db->node, u"CurrentConfig");
  if (!n || *n > 9999) return KeyRef();
  char name[8];
  std::snprintf(name, sizeof name, "%04u", static_cast<unsigned>(*n));
  return Walk(*profiles, WidenAnsi(name), 0).value_or(KeyRef());
}

HiveTree::HiveTree(const std::string& folder, bool drive, std::shared_ptr<const DriveFiles> files)
    : impl_(std::make_unique<Impl>(folder, drive, std::move(files))) {}
HiveTree::~HiveTree() = default;

std::optional<KeyRef> HiveTree::Root(std::uint32_t root) { return impl_->Root(root); }
std::optional<KeyRef> HiveTree::Walk(const KeyRef& key, const U16& rel) {
  return impl_->Walk(key, rel, 0);
}
bool HiveTree::Query(const KeyRef& key, const U16& name, StoredValue* value) {
  return impl_->Query(key, name, value);
}
std::vector<std::string> HiveTree::Describe() { return impl_->Describe(); }

}  // namespace platform
