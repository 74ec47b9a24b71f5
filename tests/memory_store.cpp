#include "tests/memory_store.h"

#include "Platform/charset_posix.h"

using platform::FoldCase;

namespace {

// Links followed within one lookup, as the real stores bound them.
constexpr int kMaxLinks = 32;

// Paths handed out are UTF-8; those the tests build are Windows-1252.
std::u16string Decode(const std::string& path) {
  std::u16string out;
  if (!platform::Utf8ToUtf16(path, &out)) out = platform::WidenAnsi(path);
  return out;
}

}  // namespace

const char MemoryStore::kUserRoot[] = "\\Registry\\User\\S-1-5-21-0-0-0-1000";

MemoryStore::MemoryStore() { AddRoot(0x80000001, kUserRoot); }

void MemoryStore::AddRoot(std::uint32_t root, const std::string& path) {
  roots_[root] = AddKeys(platform::WidenAnsi(path));
}

bool MemoryStore::RootPath(std::uint32_t root, std::string* path) {
  const auto it = roots_.find(root);
  if (it == roots_.end()) return false;
  *path = platform::Utf16ToUtf8(it->second);
  return true;
}

bool MemoryStore::OpenKey(const std::string& parent, const U16& subKey, std::string* path) {
  U16 result = Decode(parent);
  int links = 0;
  std::size_t start = 0;
  while (start <= subKey.size()) {
    std::size_t end = subKey.find(u'\\', start);
    if (end == U16::npos) end = subKey.size();
    if (end > start) {
      result += u'\\' + subKey.substr(start, end - start);
      for (auto link = links_.find(FoldCase(result)); link != links_.end();
           link = links_.find(FoldCase(result))) {
        if (++links > kMaxLinks) return false;
        result = link->second;
      }
    }
    start = end + 1;
  }
  const auto key = keys_.find(FoldCase(result));
  if (key == keys_.end()) return false;
  *path = platform::Utf16ToUtf8(key->second);
  return true;
}

bool MemoryStore::QueryValue(const std::string& path, const U16& name,
                             platform::StoredValue* value) {
  const auto it = values_.find({FoldCase(Decode(path)), FoldCase(name)});
  if (it == values_.end()) return false;
  *value = it->second.second;
  return true;
}

bool MemoryStore::KeyNames(const std::string& path, std::vector<U16>* names) {
  const U16 folded = FoldCase(Decode(path));
  if (keys_.count(folded) == 0) return false;
  const U16 prefix = folded + u'\\';
  names->clear();
  for (auto it = keys_.lower_bound(prefix);
       it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find(u'\\', prefix.size()) == U16::npos) {
      names->push_back(it->second.substr(prefix.size()));
    }
  }
  return true;
}

bool MemoryStore::ValueNames(const std::string& path, std::vector<U16>* names) {
  const U16 folded = FoldCase(Decode(path));
  if (keys_.count(folded) == 0) return false;
  names->clear();
  for (auto it = values_.lower_bound({folded, U16()});
       it != values_.end() && it->first.first == folded; ++it) {
    names->push_back(it->second.first);
  }
  return true;
}

bool MemoryStore::IsLink(const std::string& parent, const U16& name) {
  return links_.count(FoldCase(Decode(parent) + u'\\' + name)) > 0;
}

bool MemoryStore::KeyInfo(const std::string& path, platform::RegKeyInfo* info) {
  std::vector<U16> keys, values;
  if (!KeyNames(path, &keys) || !ValueNames(path, &values)) return false;
  const auto time = times_.find(FoldCase(Decode(path)));
  info->lastWrite = time == times_.end() ? 0 : time->second;
  info->subKeys = static_cast<std::uint32_t>(keys.size());
  info->values = static_cast<std::uint32_t>(values.size());
  return true;
}

void MemoryStore::Set(const std::string& path, const std::string& name, std::uint32_t type,
                      const std::string& data) {
  std::string stored = data;
  if (platform::IsStringType(type)) {
    const U16 wide = platform::WidenAnsi(data);
    stored.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  }
  Set(platform::WidenAnsi(path), platform::WidenAnsi(name), type, stored);
}

void MemoryStore::Set(const U16& path, const U16& name, std::uint32_t type,
                      const std::string& data) {
  const U16 spelled = AddKeys(path);
  auto& value = values_[{FoldCase(spelled), FoldCase(name)}];
  if (value.first.empty()) value.first = name;
  value.second = {type, data};
}

void MemoryStore::AddLink(const std::string& path, const std::string& target) {
  const U16 wide = platform::WidenAnsi(path);
  AddKeys(wide);
  links_[FoldCase(wide)] = platform::WidenAnsi(target);
}

void MemoryStore::SetTime(const U16& path, std::uint64_t lastWrite) {
  times_[FoldCase(AddKeys(path))] = lastWrite;
}

const std::u16string& MemoryStore::AddKeys(const U16& path) {
  // Each key keeps its first spelling; a later one in another case is it.
  static const U16 kNone;
  const U16* spelled = &kNone;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find(u'\\', start + 1);
    if (end == U16::npos) end = path.size();
    const U16 next = *spelled + path.substr(start, end - start);
    spelled = &keys_.emplace(FoldCase(next), next).first->second;
    start = end;
  }
  return *spelled;
}
