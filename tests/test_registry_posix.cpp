#include <map>
#include <memory>
#include <set>

#include "Platform/codepage.h"
#include "Platform/registry_store.h"
#include "tests/test_registry.h"

namespace {

const char kUserRoot[] = "\\Registry\\User\\S-1-5-21-0-0-0-1000";

// Keys by upper-cased absolute path; a key exists with any key beneath it.
class MemoryStore : public platform::RegistryStore {
 public:
  MemoryStore() { keys_.insert(platform::UpperAnsi(kUserRoot)); }

  bool RootPath(std::uint32_t root, std::string* path) override {
    if (root != 0x80000001) return false;
    *path = kUserRoot;
    return true;
  }

  bool OpenKey(const std::string& parent, const std::string& subKey, std::string* path) override {
    std::string result = parent;
    std::size_t start = 0;
    while (start <= subKey.size()) {
      std::size_t end = subKey.find('\\', start);
      if (end == std::string::npos) end = subKey.size();
      if (end > start) result += "\\" + subKey.substr(start, end - start);
      start = end + 1;
    }
    if (keys_.count(platform::UpperAnsi(result)) == 0) return false;
    *path = result;
    return true;
  }

  bool QueryValue(const std::string& path, const std::string& name,
                  platform::StoredValue* value) override {
    const auto it = values_.find(platform::UpperAnsi(path) + "\n" + platform::UpperAnsi(name));
    if (it == values_.end()) return false;
    *value = it->second;
    return true;
  }

  void Set(const std::string& path, const std::string& name, std::uint32_t type,
           const std::string& data) {
    std::string upper = platform::UpperAnsi(path);
    values_[upper + "\n" + platform::UpperAnsi(name)] = {type, data};
    for (std::size_t cut = upper.size(); cut != std::string::npos && cut > 0;
         cut = upper.rfind('\\', cut - 1)) {
      keys_.insert(upper.substr(0, cut));
    }
  }

 private:
  std::set<std::string> keys_;
  std::map<std::string, platform::StoredValue> values_;
};

MemoryStore* g_store = nullptr;

}  // namespace

TestRegistry::TestRegistry() : keyPath_("Software\\hivtap-test") {
  auto store = std::make_unique<MemoryStore>();
  g_store = store.get();
  platform::SetRegistryStore(std::move(store));
  SetValue("", "", kRegSz, std::string("scratch", 8));
}

TestRegistry::~TestRegistry() {
  g_store = nullptr;
  platform::SetRegistryStore(nullptr);
}

void TestRegistry::SetValue(const std::string& subKey, const std::string& name, std::uint32_t type,
                            const std::string& data) {
  std::string path = std::string(kUserRoot) + "\\" + keyPath_;
  if (!subKey.empty()) path += "\\" + subKey;
  g_store->Set(path, name, type, data);
}
