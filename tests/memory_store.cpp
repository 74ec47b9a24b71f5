#include "tests/memory_store.h"

#include "Platform/codepage.h"

namespace {

// Links followed within one lookup, as the real stores bound them.
constexpr int kMaxLinks = 32;

}  // namespace

const char MemoryStore::kUserRoot[] = "\\Registry\\User\\S-1-5-21-0-0-0-1000";

MemoryStore::MemoryStore() { AddRoot(0x80000001, kUserRoot); }

void MemoryStore::AddRoot(std::uint32_t root, const std::string& path) {
  roots_[root] = path;
  AddKeys(path);
}

bool MemoryStore::RootPath(std::uint32_t root, std::string* path) {
  const auto it = roots_.find(root);
  if (it == roots_.end()) return false;
  *path = it->second;
  return true;
}

bool MemoryStore::OpenKey(const std::string& parent, const std::string& subKey, std::string* path) {
  std::string result = parent;
  int links = 0;
  std::size_t start = 0;
  while (start <= subKey.size()) {
    std::size_t end = subKey.find('\\', start);
    if (end == std::string::npos) end = subKey.size();
    if (end > start) {
      result += "\\" + subKey.substr(start, end - start);
      for (auto link = links_.find(platform::UpperAnsi(result)); link != links_.end();
           link = links_.find(platform::UpperAnsi(result))) {
        if (++links > kMaxLinks) return false;
        result = link->second;
      }
    }
    start = end + 1;
  }
  const auto key = keys_.find(platform::UpperAnsi(result));
  if (key == keys_.end()) return false;
  *path = key->second;
  return true;
}

bool MemoryStore::QueryValue(const std::string& path, const std::string& name,
                             platform::StoredValue* value) {
  const auto it = values_.find(platform::UpperAnsi(path) + "\n" + platform::UpperAnsi(name));
  if (it == values_.end()) return false;
  *value = it->second.second;
  return true;
}

bool MemoryStore::KeyNames(const std::string& path, std::vector<std::string>* names) {
  const std::string prefix = platform::UpperAnsi(path) + "\\";
  if (keys_.count(platform::UpperAnsi(path)) == 0) return false;
  names->clear();
  for (auto it = keys_.lower_bound(prefix);
       it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find('\\', prefix.size()) == std::string::npos) {
      names->push_back(it->second.substr(prefix.size()));
    }
  }
  return true;
}

bool MemoryStore::ValueNames(const std::string& path, std::vector<std::string>* names) {
  const std::string prefix = platform::UpperAnsi(path) + "\n";
  if (keys_.count(platform::UpperAnsi(path)) == 0) return false;
  names->clear();
  for (auto it = values_.lower_bound(prefix);
       it != values_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    names->push_back(it->second.first);
  }
  return true;
}

bool MemoryStore::IsLink(const std::string& parent, const std::string& name) {
  return links_.count(platform::UpperAnsi(parent + "\\" + name)) > 0;
}

void MemoryStore::Set(const std::string& path, const std::string& name, std::uint32_t type,
                      const std::string& data) {
  AddKeys(path);
  const std::string spelled = keys_[platform::UpperAnsi(path)];
  auto& value = values_[platform::UpperAnsi(spelled) + "\n" + platform::UpperAnsi(name)];
  if (value.first.empty()) value.first = name;
  value.second = {type, data};
}

void MemoryStore::AddLink(const std::string& path, const std::string& target) {
  AddKeys(path);
  links_[platform::UpperAnsi(path)] = target;
}

void MemoryStore::AddKeys(const std::string& path) {
  // Each key keeps its first spelling; a later one in another case is it.
  std::string spelled;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start + 1);
    if (end == std::string::npos) end = path.size();
    const std::string next = spelled + path.substr(start, end - start);
    const auto it = keys_.emplace(platform::UpperAnsi(next), next).first;
    spelled = it->second;
    start = end;
  }
}
