#include <memory>

#include "Platform/charset_posix.h"
#include "Platform/registry_store.h"
#include "tests/memory_store.h"
#include "tests/test_registry.h"

namespace {

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
  std::string path = std::string(MemoryStore::kUserRoot) + "\\" + keyPath_;
  if (!subKey.empty()) path += "\\" + subKey;
  g_store->Set(path, name, type, data);
}

void TestRegistry::SetValueW(const std::u16string& subKey, const std::u16string& name,
                             std::uint32_t type, const std::string& data) {
  std::u16string path = platform::WidenAnsi(std::string(MemoryStore::kUserRoot) + "\\" + keyPath_);
  if (!subKey.empty()) path += u"\\" + subKey;
  g_store->Set(path, name, type, data);
}
