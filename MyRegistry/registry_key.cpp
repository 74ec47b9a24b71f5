#include "MyRegistry/registry_key.h"

#include <climits>
#include <cstdint>

#include "MyRegistry/registry.h"

TRegistryKey::~TRegistryKey() { Close(); }

void TRegistryKey::Close() {
  if (owned_) platform::CloseRegKey(handle_);
  handle_ = 0;
  owned_ = false;
}

void TRegistryKey::SelectRoot(std::uint32_t root) {
  Close();
  handle_ = RootKeyHandleOf(root);
}

bool TRegistryKey::Open(const TRegistryKey& parent, const std::u16string& subKey) {
  platform::RegKey key = 0;
  const bool opened = parent.handle_ != 0 &&
                      platform::OpenRegKeyW(parent.handle_, subKey, kKeyRead | kKeyWow64_64Key,
                                            &key) == platform::kRegSuccess;
  return Adopt(opened ? key : 0);
}

bool TRegistryKey::OpenChild(const TRegistryKey& parent, const std::u16string& name, bool& isLink) {
  platform::RegKey key = 0;
  isLink = false;
  const bool opened = parent.handle_ != 0 &&
                      platform::OpenRegChildW(parent.handle_, name, kKeyRead | kKeyWow64_64Key,
                                              &isLink, &key) == platform::kRegSuccess &&
                      !isLink;
  return Adopt(opened ? key : 0);
}

bool TRegistryKey::Adopt(platform::RegKey key) {
  Close();
  if (key == 0) return false;
  handle_ = key;
  // An empty path beneath a root hands back the root itself, never closed;
  // beneath any other key it opens a new handle.
  const auto value = static_cast<std::intptr_t>(key);
  owned_ = value < INT32_MIN || value > INT32_MIN + 6;
  return true;
}

bool TRegistryKey::SubKeyNames(std::vector<std::u16string>& names) const {
  names.clear();
  return handle_ != 0 && platform::ListRegSubKeysW(handle_, &names) == platform::kRegSuccess;
}

bool TRegistryKey::ValueNames(std::vector<std::u16string>& names) const {
  names.clear();
  return handle_ != 0 && platform::ListRegValuesW(handle_, &names) == platform::kRegSuccess;
}

bool TRegistryKey::Info(platform::RegKeyInfo& info) const {
  info = platform::RegKeyInfo();
  return handle_ != 0 && platform::QueryRegKeyInfo(handle_, &info) == platform::kRegSuccess;
}

bool TRegistryKey::ReadValue(const std::u16string& name, std::uint32_t& type,
                             std::string& data) const {
  data.clear();
  return handle_ != 0 &&
         platform::QueryRegValueW(handle_, name, &type, &data) == platform::kRegSuccess;
}

bool TRegistryKey::DeletedRecords(std::vector<platform::RegDeletedKey>& keys,
                                  std::vector<platform::RegDeletedValue>& orphans) const {
  keys.clear();
  orphans.clear();
  return handle_ != 0 &&
         platform::ListDeletedRecords(handle_, &keys, &orphans) == platform::kRegSuccess;
}
