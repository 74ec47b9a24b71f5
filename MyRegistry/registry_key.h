// An open key read through the Unicode calls, as walks and exports read:
// each child opens relative to its parent's handle, by its stored name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/registry.h"

class TRegistryKey {
 public:
  TRegistryKey() = default;
  ~TRegistryKey();
  TRegistryKey(const TRegistryKey&) = delete;
  TRegistryKey& operator=(const TRegistryKey&) = delete;

  // A predefined root (0x80000000...), which is never closed.
  void SelectRoot(std::uint32_t root);
  // `subKey` (stored names separated by backslashes; empty: the key itself)
  // beneath `parent`, with read access to the 64-bit view.
  bool Open(const TRegistryKey& parent, const std::u16string& subKey);
  // The subkey `name` of `parent`, unless it is a symbolic link, which
  // `isLink` tells and which is not opened.
  bool OpenChild(const TRegistryKey& parent, const std::u16string& name, bool& isLink);
  bool IsOpen() const { return handle_ != 0; }

  bool SubKeyNames(std::vector<std::u16string>& names) const;
  bool ValueNames(std::vector<std::u16string>& names) const;
  bool Info(platform::RegKeyInfo& info) const;
  // The value's type and every byte as stored; false when it is missing.
  bool ReadValue(const std::u16string& name, std::uint32_t& type, std::string& data) const;
  // The records recovered from its hive file beneath it (/D); false where
  // the registry is not read from hive files.
  bool DeletedRecords(std::vector<platform::RegDeletedKey>& keys,
                      std::vector<platform::RegDeletedValue>& orphans) const;

 private:
  void Close();
  // Holds `key` (0: none); false for none.
  bool Adopt(platform::RegKey key);

  platform::RegKey handle_ = 0;
  bool owned_ = false;
};
