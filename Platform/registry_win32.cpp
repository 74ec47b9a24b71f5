#include <windows.h>

#include <vector>

#include "Platform/registry.h"

namespace platform {
namespace {

HKEY AsHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }
RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

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

// Calls `next(index, buffer, length)` (RegEnumKeyExA or RegEnumValueA) until
// it runs out; a name longer than the longest the key reported (it may have
// changed in between) grows the buffer and is asked for again.
template <typename Next>
RegStatus ListNames(DWORD longest, std::vector<std::string>* names, Next next) {
  names->clear();
  std::vector<char> buffer(longest + 2);
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

bool IsRegLink(RegKey base, const std::string& subKey) {
  HKEY link = nullptr;
  if (RegOpenKeyExA(AsHkey(base), subKey.c_str(), REG_OPTION_OPEN_LINK,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &link) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD size = 0;
  const LONG status = RegQueryValueExA(link, "SymbolicLinkValue", nullptr, &type, nullptr, &size);
  RegCloseKey(link);
  return (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && type == REG_LINK;
}

void FlushRegKey(RegKey key) { ::RegFlushKey(AsHkey(key)); }

bool CheckRegistry(std::string*) { return true; }

void CloseRegKey(RegKey key) { ::RegCloseKey(AsHkey(key)); }

}  // namespace platform
