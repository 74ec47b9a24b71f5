// A registry store over a Wine prefix's system.reg, user.reg and userdef.reg.
// The files are only ever read, once each, on first need.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/registry_store.h"

namespace platform {

// Key paths it gives out are UTF-8, so that any key name survives the round
// trip back into OpenKey and QueryValue.
class WinePrefixStore : public RegistryStore {
 public:
  explicit WinePrefixStore(std::string prefixDir);
  ~WinePrefixStore() override;
  WinePrefixStore(const WinePrefixStore&) = delete;
  WinePrefixStore& operator=(const WinePrefixStore&) = delete;

  bool RootPath(std::uint32_t root, std::string* path) override;
  bool OpenKey(const std::string& parent, const std::u16string& subKey, std::string* path) override;
  bool QueryValue(const std::string& path, const std::u16string& name, StoredValue* value) override;
  bool KeyNames(const std::string& path, std::vector<std::u16string>* names) override;
  bool ValueNames(const std::string& path, std::vector<std::u16string>* names) override;
  bool IsLink(const std::string& parent, const std::u16string& name) override;
  bool KeyInfo(const std::string& path, RegKeyInfo* info) override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
