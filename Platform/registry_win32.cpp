#include <windows.h>

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

void FlushRegKey(RegKey key) { ::RegFlushKey(AsHkey(key)); }

bool CheckRegistry(std::string*) { return true; }

void CloseRegKey(RegKey key) { ::RegCloseKey(AsHkey(key)); }

}  // namespace platform
