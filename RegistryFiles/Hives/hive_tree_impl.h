// The state of the hive tree, shared by its lookups (hive_tree.cpp) and its
// listings of subkeys and values (hive_tree_list.cpp).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "RegistryFiles/Hives/hive_deleted.h"
#include "RegistryFiles/Hives/hive_file.h"
#include "RegistryFiles/Hives/hive_index.h"
#include "RegistryFiles/Hives/hive_layout.h"
#include "RegistryFiles/Hives/hive_tree.h"

namespace platform {
namespace hive_tree {

constexpr std::uint16_t kKeySymLink = 0x0010;

inline KeyRef InHive(int mount, hive_node_h node) { return {KeyRef::kHive, mount, node, -1, 0}; }

struct Mount {
  std::string file;
  int classes = -1;  // a user hive's UsrClass.dat
  bool system = false;
  bool tried = false;
  std::unique_ptr<HiveFile> hive;
  // The one key Windows links in when it loads the hive: beneath `from`,
  // `name` (folded) leads to `to`.
  hive_node_h from = 0;
  U16 name;
  const char16_t* shown = nullptr;  // the name as Windows lists it
  KeyRef to;
};

}  // namespace hive_tree

class HiveTree::Impl {
 public:
  Impl(const std::string& folder, bool drive, std::shared_ptr<const DriveFiles> files);
  std::optional<KeyRef> Root(std::uint32_t root);
  bool Query(const KeyRef& key, const U16& name, StoredValue* value);
  bool KeyNames(const KeyRef& key, std::vector<U16>* names);
  bool ValueNames(const KeyRef& key, std::vector<U16>* names);
  bool IsLink(const KeyRef& key, const U16& name);
  bool KeyInfo(const KeyRef& key, RegKeyInfo* info);
  bool IsHiveLink(int mount, hive_node_h node, const U16& name);
  // A mounted hive's name as Windows lists it: upper case, but for the
  // suffix of a user's classes.
  void ListMount(const std::pair<U16, int>& entry, std::vector<U16>* names,
                 std::unordered_set<U16>* seen);
  bool ListHive(int mount, hive_node_h node, std::vector<U16>* names,
                std::unordered_set<U16>* seen);
  int Add(const std::string& file);
  // The mount's hive, opened on first use; null when it cannot be read.
  const HiveFile* Hive(int mount);
  void Link(int mount);
  std::optional<KeyRef> Walk(KeyRef key, const U16& rel, int depth);
  std::optional<KeyRef> Mounted(const std::vector<std::pair<U16, int>>& table, const U16& name);
  std::optional<KeyRef> Child(const KeyRef& key, const U16& name, int depth);
  std::optional<KeyRef> HiveChild(int mount, hive_node_h node, const U16& name, int depth);
  // A link key names its target by an absolute path in SymbolicLinkValue.
  std::optional<KeyRef> FollowLink(const HiveFile& hive, hive_node_h link, int depth);
  // HKU\<SID> and <SID>_Classes from the ProfileList of the SOFTWARE hive.
  void ListProfiles();
  // A warning for the user: on standard error, or kept for --version.
  void Note(const std::string& ansi);
  std::vector<std::string> Describe();
  // For each dirty hive, which logs were applied and the sequence reached,
  // or why none was: examiners record it.
  void DescribeReplays(std::vector<std::string>* lines);
  void ChooseCurrentUser();
  KeyRef ClassesRoot();
  // HKCU when its NTUSER.DAT is missing but its UsrClass.dat is not: kUsers
  // keys naming the user's mount, node 0 for HKCU and 1 for its Software,
  // through which only the link to the user's classes leads. kAbsent
  // without the classes.
  KeyRef UserWithoutHive();
  std::optional<KeyRef> UserChild(const KeyRef& key, const U16& name);
  bool UserKeyNames(const KeyRef& key, std::vector<U16>* names);
  // HKCC: the current hardware profile, through the stored link "Current",
  // else the one IDConfigDB names.
  KeyRef CurrentConfig();
  void Recovered(const KeyRef& key, std::vector<RegDeletedKey>* keys,
                 std::vector<RegDeletedValue>* orphans);
  // Beneath HKLM or HKU: each mounted hive's records under its name.
  void RecoveredInMounts(bool machine, std::vector<RegDeletedKey>* keys);

 private:
  const DriveFiles& Files() const { return files_ ? *files_ : Folders(); }

  std::shared_ptr<const DriveFiles> files_;  // before the layout found in it
  HiveLayout layout_;
  std::vector<hive_tree::Mount> mounts_;
  std::vector<std::pair<U16, int>> machine_;  // folded name, mount
  std::vector<std::pair<U16, int>> users_;
  std::vector<UserProfile> profiles_;
  std::vector<int> profileMounts_;
  bool profilesListed_ = false;
  bool userChosen_ = false;
  int currentUser_ = -1;
  std::string controlSet_;                     // its name, once SYSTEM is open
  std::vector<std::string>* notes_ = nullptr;  // warnings kept, not written
  NameIndex names_;
  // Each mount's deleted records, found on first need.
  std::unordered_map<int, std::unique_ptr<DeletedRecords>> deleted_;
};

}  // namespace platform
