#include <windows.h>

#include <string>
#include <vector>

#include "Platform/registry.h"

namespace platform {
namespace {

HKEY AsHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }
RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }
// wchar_t is 16-bit here: stored names pass as they are.
const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// A key opened here for one question, closed with it.
class OwnedKey {
 public:
  OwnedKey() = default;
  ~OwnedKey() {
    if (key_) ::RegCloseKey(key_);
  }
  OwnedKey(const OwnedKey&) = delete;
  OwnedKey& operator=(const OwnedKey&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Whether the key opened as a link holds a REG_LINK SymbolicLinkValue.
bool HoldsLinkValue(HKEY link) {
  DWORD type = 0;
  DWORD size = 0;
  const LONG status = RegQueryValueExW(link, L"SymbolicLinkValue", nullptr, &type, nullptr, &size);
  return (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && type == REG_LINK;
}

}  // namespace

RegStatus OpenRegKey(RegKey base, const std::string& subKey, std::uint32_t access, RegKey* result) {
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExA(AsHkey(base), subKey.c_str(), 0, access, &key);
  if (status == ERROR_SUCCESS) *result = FromHkey(key);
  return status;
}

RegStatus CreateRegKey(RegKey base, const std::string& subKey, std::uint32_t access,
                       RegKey* result) {
  HKEY key = nullptr;
  const LONG status = RegCreateKeyExA(AsHkey(base), subKey.c_str(), 0, nullptr,
                                      REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) *result = FromHkey(key);
  return status;
}

RegStatus QueryRegValue(RegKey key, const std::string& name, std::uint32_t* type, void* data,
                        std::uint32_t* size) {
  DWORD t = 0;
  DWORD n = *size;
  const LONG status =
      RegQueryValueExA(AsHkey(key), name.c_str(), nullptr, &t, static_cast<BYTE*>(data), &n);
  *type = t;
  *size = n;
  return status;
}

namespace {

// Calls `next(index, buffer, length)` (RegEnumKeyEx or RegEnumValue, A or
// W) until it runs out; a name longer than the longest the key reported (it
// may have changed in between) grows the buffer and is asked for again.
template <typename Char, typename Next>
RegStatus ListNames(DWORD longest, std::vector<std::basic_string<Char>>* names, Next next) {
  names->clear();
  std::vector<Char> buffer(longest + 2);
  for (DWORD index = 0;;) {
    DWORD length = static_cast<DWORD>(buffer.size());
    const LONG status = next(index, buffer.data(), &length);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status == ERROR_MORE_DATA && buffer.size() < 0x10000) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != ERROR_SUCCESS) return status;
    names->emplace_back(buffer.data(), length);
    ++index;
  }
}

}  // namespace

RegStatus ListRegSubKeys(RegKey key, std::vector<std::string>* names) {
  DWORD longest = 0;
  const LONG status = RegQueryInfoKeyA(AsHkey(key), nullptr, nullptr, nullptr, nullptr, &longest,
                                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  return ListNames(longest, names, [key](DWORD index, char* name, DWORD* length) {
    return RegEnumKeyExA(AsHkey(key), index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

RegStatus ListRegValues(RegKey key, std::vector<std::string>* names) {
  DWORD longest = 0;
  const LONG status = RegQueryInfoKeyA(AsHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, &longest, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  return ListNames(longest, names, [key](DWORD index, char* name, DWORD* length) {
    return RegEnumValueA(AsHkey(key), index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

RegStatus OpenRegKeyW(RegKey base, const std::u16string& subKey, std::uint32_t access,
                      RegKey* result) {
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExW(AsHkey(base), Wide(subKey), 0, access, &key);
  if (status == ERROR_SUCCESS) *result = FromHkey(key);
  return status;
}

RegStatus QueryRegValueW(RegKey key, const std::u16string& name, std::uint32_t* type,
                         std::string* data) {
  // Most values fit the first buffer: one call each.
  data->resize(256);
  for (;;) {
    DWORD t = 0;
    DWORD n = static_cast<DWORD>(data->size());
    const LONG status = RegQueryValueExW(AsHkey(key), Wide(name), nullptr, &t,
                                         reinterpret_cast<BYTE*>(&(*data)[0]), &n);
    if (status == ERROR_MORE_DATA) {
      // HKEY_PERFORMANCE_DATA gives no size: the buffer doubles.
      data->resize(n > data->size() ? n : data->size() * 2);
      continue;
    }
    if (status != ERROR_SUCCESS) {
      data->clear();
      return status;
    }
    data->resize(n);
    *type = t;
    return ERROR_SUCCESS;
  }
}

RegStatus ListRegSubKeysW(RegKey key, std::vector<std::u16string>* names) {
  DWORD longest = 0;
  const LONG status = RegQueryInfoKeyW(AsHkey(key), nullptr, nullptr, nullptr, nullptr, &longest,
                                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  return ListNames(longest, names, [key](DWORD index, char16_t* name, DWORD* length) {
    return RegEnumKeyExW(AsHkey(key), index, reinterpret_cast<wchar_t*>(name), length, nullptr,
                         nullptr, nullptr, nullptr);
  });
}

RegStatus ListRegValuesW(RegKey key, std::vector<std::u16string>* names) {
  DWORD longest = 0;
  const LONG status = RegQueryInfoKeyW(AsHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, &longest, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  return ListNames(longest, names, [key](DWORD index, char16_t* name, DWORD* length) {
    return RegEnumValueW(AsHkey(key), index, reinterpret_cast<wchar_t*>(name), length, nullptr,
                         nullptr, nullptr, nullptr);
  });
}

RegStatus QueryRegKeyInfo(RegKey key, RegKeyInfo* info) {
  DWORD subKeys = 0;
  DWORD values = 0;
  FILETIME time{};
  const LONG status = RegQueryInfoKeyW(AsHkey(key), nullptr, nullptr, nullptr, &subKeys, nullptr,
                                       nullptr, &values, nullptr, nullptr, nullptr, &time);
  if (status != ERROR_SUCCESS) return status;
  info->lastWrite = static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  info->subKeys = subKeys;
  info->values = values;
  return ERROR_SUCCESS;
}

bool IsRegLinkW(RegKey base, const std::u16string& name) {
  OwnedKey link;
  return RegOpenKeyExW(AsHkey(base), Wide(name), REG_OPTION_OPEN_LINK,
                       KEY_QUERY_VALUE | KEY_WOW64_64KEY, link.out()) == ERROR_SUCCESS &&
         HoldsLinkValue(link.get());
}

RegStatus OpenRegChildW(RegKey base, const std::u16string& name, std::uint32_t access, bool* isLink,
                        RegKey* result) {
  HKEY key = nullptr;
  const LONG status =
      RegOpenKeyExW(AsHkey(base), Wide(name), REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, &key);
  if (status != ERROR_SUCCESS) return status;
  *isLink = HoldsLinkValue(key);
  if (*isLink) {
    ::RegCloseKey(key);
  } else {
    *result = FromHkey(key);
  }
  return ERROR_SUCCESS;
}

// The live registry keeps no unallocated cells within reach.
RegStatus ListDeletedRecords(RegKey, std::vector<RegDeletedKey>* keys,
                             std::vector<RegDeletedValue>* orphans) {
  keys->clear();
  orphans->clear();
  return kRegNotSupported;
}

bool HoldsDeletedRecords() { return false; }

void FlushRegKey(RegKey key) { ::RegFlushKey(AsHkey(key)); }

bool CheckRegistry(std::string*) { return true; }

void CloseRegKey(RegKey key) { ::RegCloseKey(AsHkey(key)); }

}  // namespace platform
