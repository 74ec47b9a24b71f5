// A scratch key under HKEY_CURRENT_USER where tests seed values. On Windows
// it lives in the real registry and is deleted afterwards; elsewhere it is
// an in-memory store installed for the test.
#pragma once

#include <cstdint>
#include <string>

class TestRegistry {
 public:
  TestRegistry();
  ~TestRegistry();
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

  // The scratch key's path beneath HKEY_CURRENT_USER, without a trailing
  // backslash.
  const std::string& KeyPath() const { return keyPath_; }
  // Sets a value of `KeyPath()\subKey` (subKey may be empty), creating keys
  // as needed. `data` is what RegQueryValueExA will deliver.
  void SetValue(const std::string& subKey, const std::string& name, std::uint32_t type,
                const std::string& data);
  // The same with names as stored, and data as stored (strings in UTF-16LE).
  void SetValueW(const std::u16string& subKey, const std::u16string& name, std::uint32_t type,
                 const std::string& data);

 private:
  std::string keyPath_;
};

// Registry type codes.
enum : std::uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegResourceList = 8,
  kRegQword = 11,
};
