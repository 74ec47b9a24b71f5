// A registry store over a Wine prefix's system.reg, user.reg and userdef.reg.
// The files are only ever read, once each, on first need.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/registry_store.h"

namespace platform {

// Subkey and value names come in the ANSI code page (Windows-1252), as the A
// functions receive them. Key paths it gives out are UTF-8, so that any key
// name survives the round trip back into OpenKey and QueryValue.
class WinePrefixStore : public RegistryStore {
 public:
  explicit WinePrefixStore(std::string prefixDir);
  ~WinePrefixStore() override;
  WinePrefixStore(const WinePrefixStore&) = delete;
  WinePrefixStore& operator=(const WinePrefixStore&) = delete;

  bool RootPath(std::uint32_t root, std::string* path) override;
  bool OpenKey(const std::string& parent, const std::string& subKey, std::string* path) override;
  bool QueryValue(const std::string& path, const std::string& name, StoredValue* value) override;
  bool KeyNames(const std::string& path, std::vector<std::string>* names) override;
  bool ValueNames(const std::string& path, std::vector<std::string>* names) override;
  bool IsLink(const std::string& parent, const std::string& name) override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
