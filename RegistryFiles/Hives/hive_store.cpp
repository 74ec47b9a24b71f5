// The store seam over HiveTree: key tokens, and caches for lists that read
// several values of one key or read a value again.
#include "RegistryFiles/Hives/hive_store.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <utility>

#include "RegistryFiles/Hives/hive_tree.h"
#include "RegistryFiles/mapping_guard.h"

namespace platform {
namespace {

constexpr std::size_t kMaxOpened = 1u << 12;
constexpr std::size_t kValueBudget = 1u << 20;

}  // namespace

class HiveStore::Impl {
 public:
  Impl(const std::string& folder, bool drive, std::shared_ptr<const DriveFiles> files)
      : tree_(folder, drive, std::move(files)) {}

  bool RootPath(std::uint32_t root, std::string* path) {
    const std::uint64_t faults = MappingFaults();
    const std::optional<KeyRef> key = tree_.Root(root);
    if (!Settle(faults, key.has_value())) return false;
    *path = Handle(*key);
    return true;
  }

  bool OpenKey(const std::string& parent, const U16& subKey, std::string* path) {
    // A list reads several values of one key: each path is walked once.
    std::string id = parent;
    id += '\0';
    AppendBytes(subKey, &id);
    auto it = opened_.find(id);
    if (it == opened_.end()) {
      if (opened_.size() >= kMaxOpened) opened_.clear();
      it = opened_.emplace(std::move(id), Open(parent, subKey)).first;
    }
    if (it->second == "-") return false;
    *path = it->second;
    return true;
  }

  // The key's token, or "-" when it is missing.
  std::string Open(const std::string& parent, const U16& subKey) {
    std::string path;
    const std::uint64_t faults = MappingFaults();
    return Settle(faults, OpenUncached(parent, subKey, &path)) ? path : "-";
  }

  bool OpenUncached(const std::string& parent, const U16& subKey, std::string* path) {
    const std::optional<KeyRef> base = Lookup(parent);
    if (!base || (!subKey.empty() && subKey[0] == u'\\')) return false;
    const std::optional<KeyRef> key = tree_.Walk(*base, subKey);
    if (!key) return false;
    *path = Handle(*key);
    return true;
  }

  bool QueryValue(const std::string& path, const U16& name, StoredValue* value) {
    // Values are asked for twice (size, then data), and a list reads some
    // again: a value asked for again is kept, each decoded once, within a
    // budget. A walk asks for each value once: it only passes the last slot.
    std::string& id = id_;
    id.assign(path);
    id += '\0';
    AppendBytes(name, &id);
    auto it = values_.find(id);
    if (it == values_.end() && id == last_.id) {
      if (valueBytes_ > kValueBudget) {
        values_.clear();
        valueBytes_ = 0;
      }
      valueBytes_ += id.size() + last_.value.data.size() + 64;
      it = values_.emplace(id, std::make_pair(last_.found, last_.value)).first;
    }
    if (it != values_.end()) {
      if (it->second.first) *value = it->second.second;
      return it->second.first;
    }
    const std::optional<KeyRef> key = Lookup(path);
    const std::uint64_t faults = MappingFaults();
    last_.id = id;
    last_.found = Settle(faults, key && tree_.Query(*key, name, &last_.value));
    if (last_.found) *value = last_.value;
    return last_.found;
  }

  bool List(const std::string& path, std::vector<U16>* names, bool values) {
    names->clear();
    const std::optional<KeyRef> key = Lookup(path);
    return key && (values ? tree_.ValueNames(*key, names) : tree_.KeyNames(*key, names));
  }

  bool KeyInfo(const std::string& path, RegKeyInfo* info) {
    const std::optional<KeyRef> key = Lookup(path);
    const std::uint64_t faults = MappingFaults();
    return Settle(faults, key && tree_.KeyInfo(*key, info));
  }

  void Recovered(const std::string& path, std::vector<RegDeletedKey>* keys,
                 std::vector<RegDeletedValue>* orphans) {
    const std::optional<KeyRef> key = Lookup(path);
    if (!key) return;
    const std::uint64_t faults = MappingFaults();
    tree_.Recovered(*key, keys, orphans);
    // A hive cut short while it was read: what was found is not trusted.
    if (!Settle(faults, true)) {
      keys->clear();
      orphans->clear();
    }
  }

  std::optional<KeyRef> Find(const std::string& token) { return Lookup(token); }
  HiveTree& tree() { return tree_; }

 private:
  // A lookup that finds a hive cut short reads as missing; afterwards the
  // hive reads as zeros past the cut, damage that reads as missing.
  static bool Settle(std::uint64_t faults, bool found) {
    if (MappingFaults() == faults) return found;
    ReportChangedMappings();
    return false;
  }

  // Cache ids hold a name's stored units as bytes: no name is narrowed.
  static void AppendBytes(const U16& name, std::string* id) {
    id->append(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(char16_t));
  }

  // The token names the key itself, so that no table of them grows with
  // the keys a list opens.
  static std::string Handle(const KeyRef& key) {
    char token[96];
    std::snprintf(token, sizeof token, "#%u:%d:%llu:%d:%llu", static_cast<unsigned>(key.kind),
                  key.mount, static_cast<unsigned long long>(key.node), key.mount2,
                  static_cast<unsigned long long>(key.node2));
    return token;
  }

  static std::optional<KeyRef> Lookup(const std::string& token) {
    // As Handle writes it: #kind:mount:node:mount2:node2.
    const char* p = token.data();
    const char* const end = p + token.size();
    unsigned kind = 0;
    unsigned long long node = 0, node2 = 0;
    KeyRef key;
    const auto next = [&](auto& number, char before) {
      if (p == end || *p != before) return false;
      const std::from_chars_result r = std::from_chars(p + 1, end, number);
      if (r.ec != std::errc() || r.ptr == p + 1) return false;
      p = r.ptr;
      return true;
    };
    if (!next(kind, '#') || !next(key.mount, ':') || !next(node, ':') || !next(key.mount2, ':') ||
        !next(node2, ':') || p != end || kind > KeyRef::kMerged) {
      return std::nullopt;
    }
    key.kind = static_cast<KeyRef::Kind>(kind);
    key.node = static_cast<hive_node_h>(node);
    key.node2 = static_cast<hive_node_h>(node2);
    return key;
  }

  HiveTree tree_;
  std::unordered_map<std::string, std::pair<bool, StoredValue>> values_;
  // The value read last, kept for a second ask, and the id being looked up.
  struct {
    std::string id;
    bool found = false;
    StoredValue value;
  } last_;
  std::string id_;
  std::size_t valueBytes_ = 0;
  std::unordered_map<std::string, std::string> opened_;  // parent, subkey: token
};

HiveStore::HiveStore(const std::string& folder, bool drive, std::shared_ptr<const DriveFiles> files)
    : impl_(std::make_unique<Impl>(folder, drive, std::move(files))) {}
HiveStore::~HiveStore() = default;

bool HiveStore::RootPath(std::uint32_t root, std::string* path) {
  return impl_->RootPath(root, path);
}
bool HiveStore::OpenKey(const std::string& parent, const std::u16string& subKey,
                        std::string* path) {
  return impl_->OpenKey(parent, subKey, path);
}
bool HiveStore::QueryValue(const std::string& path, const std::u16string& name,
                           StoredValue* value) {
  return impl_->QueryValue(path, name, value);
}
bool HiveStore::KeyNames(const std::string& path, std::vector<std::u16string>* names) {
  return impl_->List(path, names, false);
}
bool HiveStore::ValueNames(const std::string& path, std::vector<std::u16string>* names) {
  return impl_->List(path, names, true);
}
bool HiveStore::IsLink(const std::string& parent, const std::u16string& name) {
  const std::optional<KeyRef> key = impl_->Find(parent);
  return key && impl_->tree().IsLink(*key, name);
}
bool HiveStore::KeyInfo(const std::string& path, RegKeyInfo* info) {
  return impl_->KeyInfo(path, info);
}
bool HiveStore::DeletedRecords(const std::string& path, std::vector<RegDeletedKey>* keys,
                               std::vector<RegDeletedValue>* orphans) {
  impl_->Recovered(path, keys, orphans);
  return true;
}

}  // namespace platform
