// Listing a hive tree key's subkeys and values, as Windows lists them.
#include <unordered_set>
#include <vector>

#include "RegistryFiles/Hives/hive_node.h"
#include "RegistryFiles/Hives/hive_tree_impl.h"

namespace platform {

using hive_tree::kKeySymLink;
using hive_tree::Mount;

bool HiveTree::Impl::KeyNames(const KeyRef& key, std::vector<U16>* names) {
  names->clear();
  // Folded names listed so far: a name two sides hold is listed once.
  std::unordered_set<U16> seen;
  switch (key.kind) {
    case KeyRef::kMachine:
      for (const auto& entry : machine_) ListMount(entry, names, &seen);
      return true;
    case KeyRef::kUsers:
      if (key.mount >= 0) return UserKeyNames(key, names);
      ListProfiles();
      for (const auto& entry : users_) ListMount(entry, names, &seen);
      return true;
    case KeyRef::kHive:
      return ListHive(key.mount, key.node, names, &seen);
    case KeyRef::kMerged: {
      const bool user = ListHive(key.mount, key.node, names, &seen);
      return ListHive(key.mount2, key.node2, names, &seen) || user;
    }
    case KeyRef::kAbsent:
      break;
  }
  return false;
}

bool HiveTree::Impl::ValueNames(const KeyRef& key, std::vector<U16>* names) {
  const bool merged = key.kind == KeyRef::kMerged;
  if (key.kind != KeyRef::kHive && !merged) {
    names->clear();
    return key.kind != KeyRef::kAbsent;
  }
  // As Query: a merged key's values are the user's when the user has it.
  const int mount = merged && !key.node ? key.mount2 : key.mount;
  const hive_node_h node = merged && !key.node ? key.node2 : key.node;
  const HiveFile* hive = Hive(mount);
  if (!hive || !node) return false;
  *names = platform::ValueNames(*hive, node);
  return true;
}

bool HiveTree::Impl::IsLink(const KeyRef& key, const U16& name) {
  if (key.kind == KeyRef::kHive) return IsHiveLink(key.mount, key.node, name);
  // Software\Classes is the link Windows makes, with or without NTUSER.DAT.
  if (key.kind == KeyRef::kUsers && key.mount >= 0) {
    return key.node == 1 && FoldCase(name) == u"classes";
  }
  if (key.kind != KeyRef::kMerged) return false;
  if (key.node && names_.Child(*Hive(key.mount), key.mount, key.node, name)) {
    return IsHiveLink(key.mount, key.node, name);
  }
  return key.node2 && IsHiveLink(key.mount2, key.node2, name);
}

bool HiveTree::Impl::KeyInfo(const KeyRef& key, RegKeyInfo* info) {
  std::vector<U16> keys, values;
  if (!KeyNames(key, &keys) || !ValueNames(key, &values)) return false;
  info->subKeys = static_cast<std::uint32_t>(keys.size());
  info->values = static_cast<std::uint32_t>(values.size());
  // A node's time is in its nk cell, as the hive (its logs replayed) holds
  // it. HKLM and HKU are made at boot and hold no time: 0. An HKCR key
  // changes when either side does: the later of the two.
  info->lastWrite = 0;
  const std::pair<int, hive_node_h> sides[] = {{key.mount, key.node}, {key.mount2, key.node2}};
  for (const auto& [mount, node] : sides) {
    const HiveFile* hive =
        key.kind == KeyRef::kHive || key.kind == KeyRef::kMerged ? Hive(mount) : nullptr;
    if (!hive || !node) continue;
    const std::int64_t time = hivex_node_timestamp(hive->get(), node);
    if (time > 0 && static_cast<std::uint64_t>(time) > info->lastWrite) info->lastWrite = time;
  }
  return true;
}

bool HiveTree::Impl::IsHiveLink(int mount, hive_node_h node, const U16& name) {
  const HiveFile* hive = Hive(mount);
  if (!hive || !node) return false;
  const Mount& m = mounts_[mount];
  if (m.from == node && FoldCase(name) == m.name) return true;
  const hive_node_h child = names_.Child(*hive, mount, node, name);
  return child && (hive->KeyFlags(child) & kKeySymLink);
}

void HiveTree::Impl::ListMount(const std::pair<U16, int>& entry, std::vector<U16>* names,
                               std::unordered_set<U16>* seen) {
  if (!Hive(entry.second)) return;
  U16 name = entry.first;
  static const U16 kClasses = u"_classes";
  const bool classes = name.size() > kClasses.size() &&
                       name.compare(name.size() - kClasses.size(), U16::npos, kClasses) == 0;
  for (char16_t& c : name) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  if (classes) name.replace(name.size() - kClasses.size(), U16::npos, u"_Classes");
  if (seen->insert(FoldCase(name)).second) names->push_back(name);
}

bool HiveTree::Impl::ListHive(int mount, hive_node_h node, std::vector<U16>* names,
                              std::unordered_set<U16>* seen) {
  const HiveFile* hive = Hive(mount);
  if (!hive || !node) return false;
  for (auto& child : Children(*hive, node)) {
    if (seen->insert(FoldCase(child.first)).second) names->push_back(std::move(child.first));
  }
  const Mount& m = mounts_[mount];
  if (m.from == node && m.shown && seen->insert(m.name).second) names->push_back(m.shown);
  return true;
}

bool HiveTree::KeyNames(const KeyRef& key, std::vector<U16>* names) {
  return impl_->KeyNames(key, names);
}
bool HiveTree::ValueNames(const KeyRef& key, std::vector<U16>* names) {
  return impl_->ValueNames(key, names);
}
bool HiveTree::IsLink(const KeyRef& key, const U16& name) { return impl_->IsLink(key, name); }
bool HiveTree::KeyInfo(const KeyRef& key, RegKeyInfo* info) { return impl_->KeyInfo(key, info); }

}  // namespace platform
