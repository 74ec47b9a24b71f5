#include "tests/memory_store.h"

#include "Platform/codepage.h"

const char MemoryStore::kUserRoot[] = "\\Registry\\User\\S-1-5-21-0-0-0-1000";

MemoryStore::MemoryStore() { AddRoot(0x80000001, kUserRoot); }

void MemoryStore::AddRoot(std::uint32_t root, const std::string& path) {
  roots_[root] = path;
  AddKeys(platform::UpperAnsi(path));
}

bool MemoryStore::RootPath(std::uint32_t root, std::string* path) {
  const auto it = roots_.find(root);
  if (it == roots_.end()) return false;
  *path = it->second;
  return true;
}

bool MemoryStore::OpenKey(const std::string& parent, const std::string& subKey, std::string* path) {
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

bool MemoryStore::QueryValue(const std::string& path, const std::string& name,
                             platform::StoredValue* value) {
  const auto it = values_.find(platform::UpperAnsi(path) + "\n" + platform::UpperAnsi(name));
  if (it == values_.end()) return false;
  *value = it->second;
  return true;
}

void MemoryStore::Set(const std::string& path, const std::string& name, std::uint32_t type,
                      const std::string& data) {
  const std::string upper = platform::UpperAnsi(path);
  values_[upper + "\n" + platform::UpperAnsi(name)] = {type, data};
  AddKeys(upper);
}

void MemoryStore::AddKeys(const std::string& upperPath) {
  for (std::size_t cut = upperPath.size(); cut != std::string::npos && cut > 0;
       cut = upperPath.rfind('\\', cut - 1)) {
    keys_.insert(upperPath.substr(0, cut));
  }
}
