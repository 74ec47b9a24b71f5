// Any bytes as a hive file: as SOFTWARE or NTUSER.DAT in a folder of
// collected hives, or as SOFTWARE on a system drive (input size modulo 3
// picks). The names it holds are found through the hive reader's own walk,
// then its keys opened and values queried through the store, twice, in
// opposite orders: both passes must give the same, the records recovered
// beneath each key included.
#include <hivex.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Platform/charset_posix.h"
#include "RegistryFiles/Hives/hive_file.h"
#include "RegistryFiles/Hives/hive_node.h"
#include "RegistryFiles/registry_source.h"
#include "fuzz/support/fuzz_support.h"
#include "tests/ansi_store.h"

namespace {

// Keys and value names tried: each costs a walk from the root per query.
constexpr std::size_t kMaxKeys = 12;
constexpr std::size_t kMaxValues = 6;
constexpr std::size_t kMaxDepth = 6;

struct Key {
  std::string path;  // Windows-1252, under the hive's root
  std::vector<std::string> values;
};

struct Free {
  void operator()(void* p) const { std::free(p); }
};

std::vector<std::string> ValueNames(hive_h* h, hive_node_h node) {
  std::vector<std::string> names;
  const std::unique_ptr<hive_value_h, Free> values(hivex_node_values(h, node));
  for (std::size_t i = 0; values && values.get()[i] && names.size() < kMaxValues; ++i) {
    const std::unique_ptr<char, Free> name(hivex_value_key(h, values.get()[i]));
    if (name) names.push_back(platform::Utf8ToAnsi(name.get()));
  }
  names.push_back("missing value");
  return names;
}

// Breadth first from the root, the names as the hive spells them.
std::vector<Key> CollectKeys(const std::string& file) {
  std::vector<Key> keys;
  const std::unique_ptr<platform::HiveFile> hive = platform::OpenHive(file);
  if (!hive) return keys;
  std::vector<std::pair<std::string, hive_node_h>> queue = {{"", hivex_root(hive->get())}};
  for (std::size_t next = 0; next < queue.size() && keys.size() < kMaxKeys; ++next) {
    const auto [path, node] = queue[next];
    if (!platform::Checked(*hive, node)) continue;
    keys.push_back({path, ValueNames(hive->get(), node)});
    std::size_t depth = 0;
    for (const char c : path) depth += c == '\\';
    if (depth >= kMaxDepth) continue;
    for (const auto& [name, child] : platform::Children(*hive, node)) {
      const std::string ansi = platform::NarrowToAnsi(name.data(), name.size());
      if (ansi.empty() || ansi.find('\\') != std::string::npos) continue;
      if (queue.size() < 4 * kMaxKeys)
        queue.emplace_back(path.empty() ? ansi : path + "\\" + ansi, child);
    }
  }
  return keys;
}

using Results = std::map<std::string, std::string>;

void Query(platform::RegistryStore& store, std::uint32_t root, const std::string& base,
           const std::vector<Key>& keys, bool reverse, Results* results) {
  std::string rootPath;
  if (!store.RootPath(root, &rootPath)) return;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const Key& key = keys[reverse ? keys.size() - 1 - k : k];
    const std::string subKey =
        base.empty() || key.path.empty() ? base + key.path : base + "\\" + key.path;
    const std::string where = std::to_string(root) + "\n" + subKey;
    std::string path;
    if (!ansi_store::OpenKey(store, rootPath, subKey, &path)) {
      (*results)[where] = "(none)";
      continue;
    }
    (*results)[where] = "(open)";
    std::string again;
    FUZZ_CHECK(ansi_store::OpenKey(store, path, "", &again), "a key's path opens that key again");
    // What the hive holds deleted beneath it: the same on both passes, and
    // only the hive's root key has records whose place is unknown.
    std::vector<platform::RegDeletedKey> deleted;
    std::vector<platform::RegDeletedValue> orphans;
    FUZZ_CHECK(store.DeletedRecords(path, &deleted, &orphans), "a hive store recovers records");
    std::size_t partial = 0;
    for (const platform::RegDeletedKey& d : deleted) partial += d.partial ? 1 : 0;
    FUZZ_CHECK(key.path.empty() || (partial == 0 && orphans.empty()),
               "partial keys and orphan values only at a hive's root");
    (*results)[where + "\n(deleted)"] = std::to_string(deleted.size()) + "/" +
                                        std::to_string(partial) + "/" +
                                        std::to_string(orphans.size());
    for (std::size_t v = 0; v < key.values.size(); ++v) {
      const std::string& name = key.values[reverse ? key.values.size() - 1 - v : v];
      platform::StoredValue value;
      if (ansi_store::QueryValue(store, path, name, &value)) {
        (*results)[where + "\n" + name] = std::to_string(value.type) + ":" + value.data;
      }
    }
  }
}

struct Layout {
  const char* file;  // under the folder
  bool drive;
  std::uint32_t root;  // where the hive's root key is
  const char* base;
};
const Layout kLayouts[] = {
    {"SOFTWARE", false, 0x80000002, "SOFTWARE"},
    {"NTUSER.DAT", false, 0x80000001, ""},
    {"Windows/System32/config/SOFTWARE", true, 0x80000002, "SOFTWARE"},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Layout& layout = kLayouts[size % 3];
  const std::string folder = ScratchDir() + (layout.drive ? "/drive" : "/hives");
  static const bool made =
      std::filesystem::create_directories(ScratchDir() + "/hives") &&
      std::filesystem::create_directories(ScratchDir() + "/drive/Windows/System32/config");
  FUZZ_CHECK(made, "the folders can be made");
  for (const Layout& other : kLayouts)
    RemoveScratchFile((other.drive ? "drive/" : "hives/") + std::string(other.file));
  const std::string file =
      WriteScratchFile((layout.drive ? "drive/" : "hives/") + std::string(layout.file),
                       std::string(reinterpret_cast<const char*>(data), size));
  const std::vector<Key> keys = CollectKeys(file);

  platform::RegistrySource source;
  source.folder = folder;
  source.exists = true;
  source.kind =
      layout.drive ? platform::SourceKind::kWindowsDrive : platform::SourceKind::kCollectedHives;
  const std::unique_ptr<platform::RegistryStore> store = platform::CreateRegistryStore(source);
  FUZZ_CHECK(store != nullptr, "a folder of hives gives a store");
  const std::vector<Key> rootOnly = {{"", {"", "missing value"}}};
  Results first;
  Results second;
  Query(*store, layout.root, layout.base, keys, false, &first);
  for (const std::uint32_t root : {0x80000000u, 0x80000003u, 0x80000005u}) {
    Query(*store, root, "", rootOnly, false, &first);
  }
  for (const std::uint32_t root : {0x80000005u, 0x80000003u, 0x80000000u}) {
    Query(*store, root, "", rootOnly, true, &second);
  }
  Query(*store, layout.root, layout.base, keys, true, &second);
  FUZZ_CHECK(first == second, "a key opened twice gives the same values");
  return 0;
}
