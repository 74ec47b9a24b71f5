// What --version says of the dirty hives: each is opened, its logs replayed
// as a run would, and the replay told.
#include "RegistryFiles/Hives/hive_tree_impl.h"

namespace platform {

void HiveTree::Impl::DescribeReplays(std::vector<std::string>* lines) {
  for (std::size_t i = 0; i < mounts_.size(); ++i) {
    if (mounts_[i].file.empty()) continue;
    const HiveFile* hive = Hive(static_cast<int>(i));
    // "ruche sale FILE : journaux appliqués..."
    if (hive && !hive->replay().empty()) {
      lines->push_back("ruche sale " + Utf8ToAnsi(mounts_[i].file) + " : " + hive->replay());
    }
  }
}

}  // namespace platform
