// The deleted records beneath a key of the hive tree: one pass over the
// hive's bytes, as the live reader reads them (logs replayed), kept for the
// run, then the records filtered by the key's own path.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "RegistryFiles/Hives/hive_deleted.h"
#include "RegistryFiles/Hives/hive_tree.h"
#include "RegistryFiles/Hives/hive_tree_impl.h"

namespace platform {
namespace {

// Windows nests keys no deeper.
constexpr std::size_t kMaxKeyDepth = 512;

RegDeletedValue Converted(const DeletedValue& value) {
  RegDeletedValue out;
  out.name = value.name;
  out.type = value.type;
  out.data = value.reliable ? value.data : std::string();
  out.reliable = value.reliable;
  return out;
}

RegDeletedKey Converted(const DeletedKey& key, std::size_t below) {
  RegDeletedKey out;
  out.path.assign(key.path.begin() + static_cast<std::ptrdiff_t>(below), key.path.end());
  out.partial = key.partial;
  out.lastWrite = key.lastWrite;
  for (const DeletedValue& value : key.values) out.values.push_back(Converted(value));
  return out;
}

// The folded names from the hive's root key down to `node`; false when the
// parent chain does not lead there.
bool PathBelowRoot(const HiveFile& hive, hive_node_h node, std::vector<U16>* path) {
  const hive_node_h root = hivex_root(hive.get());
  const HiveCells cells = hive.cells();
  while (node != root) {
    StoredName name;
    if (path->size() >= kMaxKeyDepth || !cells.KeyName(node, &name)) return false;
    path->push_back(FoldCase(name.Text()));
    node = hivex_node_parent(hive.get(), node);
    if (node == 0) return false;
  }
  std::reverse(path->begin(), path->end());
  return true;
}

}  // namespace

void HiveTree::Impl::Recovered(const KeyRef& key, std::vector<RegDeletedKey>* keys,
                               std::vector<RegDeletedValue>* orphans) {
  if (key.kind == KeyRef::kMachine || key.kind == KeyRef::kUsers) {
    RecoveredInMounts(key.kind == KeyRef::kMachine, keys);
    return;
  }
  if (key.kind != KeyRef::kHive) return;
  const HiveFile* hive = Hive(key.mount);
  if (!hive || !hive->image()) return;
  std::unique_ptr<DeletedRecords>& found = deleted_[key.mount];
  if (!found) {
    found = std::make_unique<DeletedRecords>(FindDeletedRecords(hive->image(), hive->imageSize()));
  }
  std::vector<U16> own;
  if (!PathBelowRoot(*hive, key.node, &own)) return;
  const bool atRoot = own.empty();
  for (const DeletedKey& deleted : found->keys) {
    if (deleted.partial) {
      // Where it stood is not known: only the root holds it.
      if (atRoot) keys->push_back(Converted(deleted, 0));
      continue;
    }
    if (deleted.path.size() < own.size()) continue;
    bool beneath = true;
    for (std::size_t i = 0; beneath && i < own.size(); ++i) {
      beneath = FoldCase(deleted.path[i]) == own[i];
    }
    if (beneath) keys->push_back(Converted(deleted, own.size()));
  }
  if (atRoot) {
    for (const DeletedValue& value : found->orphanValues) orphans->push_back(Converted(value));
  }
}

void HiveTree::Impl::RecoveredInMounts(bool machine, std::vector<RegDeletedKey>* keys) {
  if (!machine) ListProfiles();
  // Hive by hive in the order of their names, each under the name it is
  // listed by; a key whose parent is gone stood nowhere known, so HKLM and
  // HKU hold none.
  std::unordered_set<U16> seen;
  std::vector<std::pair<U16, int>> mounts;
  for (const auto& entry : machine ? machine_ : users_) {
    std::vector<U16> shown;
    ListMount(entry, &shown, &seen);
    if (!shown.empty()) mounts.emplace_back(shown.back(), entry.second);
  }
  std::sort(mounts.begin(), mounts.end(),
            [](const auto& a, const auto& b) { return FoldCase(a.first) < FoldCase(b.first); });
  for (const auto& [name, mount] : mounts) {
    std::vector<RegDeletedKey> below;
    std::vector<RegDeletedValue> orphans;
    Recovered(hive_tree::InHive(mount, hivex_root(Hive(mount)->get())), &below, &orphans);
    for (RegDeletedKey& key : below) {
      if (key.partial) continue;
      key.path.insert(key.path.begin(), name);
      keys->push_back(std::move(key));
    }
  }
}

void HiveTree::Recovered(const KeyRef& key, std::vector<RegDeletedKey>* keys,
                         std::vector<RegDeletedValue>* orphans) {
  impl_->Recovered(key, keys, orphans);
}

}  // namespace platform
