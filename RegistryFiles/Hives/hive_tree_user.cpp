// HKCU when a folder of collected hives holds the user's UsrClass.dat but
// no NTUSER.DAT: HKCU\Software\Classes still reads the user's classes, as
// HKCR does.
#include "RegistryFiles/Hives/hive_tree_impl.h"

namespace platform {

using hive_tree::InHive;

KeyRef HiveTree::Impl::UserWithoutHive() {
  KeyRef key;
  if (currentUser_ < 0 || !Hive(mounts_[currentUser_].classes)) return key;
  key.kind = KeyRef::kUsers;
  key.mount = currentUser_;
  return key;
}

std::optional<KeyRef> HiveTree::Impl::UserChild(const KeyRef& key, const U16& name) {
  const U16 folded = FoldCase(name);
  if (key.node == 0 && folded == u"software") {
    KeyRef software = key;
    software.node = 1;
    return software;
  }
  const int classes = mounts_[key.mount].classes;
  const HiveFile* hive = Hive(classes);
  if (key.node == 1 && folded == u"classes" && hive) {
    return InHive(classes, hivex_root(hive->get()));
  }
  return std::nullopt;
}

bool HiveTree::Impl::UserKeyNames(const KeyRef& key, std::vector<U16>* names) {
  names->assign(1, key.node == 0 ? u"Software" : u"Classes");
  return true;
}

}  // namespace platform
