#include <windows.h>

#include <memory>
#include <stdexcept>
#include <type_traits>

#include "tests/test_registry.h"

namespace {

std::string FullPath(const std::string& base, const std::string& subKey) {
  return subKey.empty() ? base : base + "\\" + subKey;
}

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using OwnedKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

}  // namespace

TestRegistry::TestRegistry()
    : keyPath_("Software\\hivtap-test-" + std::to_string(GetCurrentProcessId())) {
  RegDeleteTreeA(HKEY_CURRENT_USER, keyPath_.c_str());
  SetValue("", "", kRegSz, std::string("scratch", 8));
}

TestRegistry::~TestRegistry() { RegDeleteTreeA(HKEY_CURRENT_USER, keyPath_.c_str()); }

void TestRegistry::SetValue(const std::string& subKey, const std::string& name, std::uint32_t type,
                            const std::string& data) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, FullPath(keyPath_, subKey).c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create test key");
  }
  // RegSetValueExA counts a NUL that follows string data as part of it, so
  // the byte after the data must not be one.
  const std::string buffer = data + '\xFF';
  const LONG status =
      RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(buffer.data()),
                     static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set test value");
}

void TestRegistry::SetValueW(const std::u16string& subKey, const std::u16string& name,
                             std::uint32_t type, const std::string& data) {
  std::u16string path(keyPath_.begin(), keyPath_.end());
  if (!subKey.empty()) path += u"\\" + subKey;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(path.c_str()), 0, nullptr,
                      0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create test key");
  }
  const OwnedKey owned(key);
  // As for RegSetValueExA: a NUL unit after string data would be counted.
  const std::string buffer = data + "\xFF\xFF";
  if (RegSetValueExW(key, reinterpret_cast<const wchar_t*>(name.c_str()), 0, type,
                     reinterpret_cast<const BYTE*>(buffer.data()),
                     static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot set test value");
  }
}
