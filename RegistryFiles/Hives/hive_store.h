// A registry store over a Windows installation's hive files: a mounted
// system drive, or a folder of hives collected from one. Files are opened
// read-only on first need; nothing is written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/registry_store.h"
#include "RegistryFiles/Images/drive_files.h"

namespace platform {

// The key paths it gives out are its own tokens.
class HiveStore : public RegistryStore {
 public:
  // `drive`: `folder` is a system drive, else a folder of collected hives;
  // `files` holds it (null: the folders here).
  HiveStore(const std::string& folder, bool drive,
            std::shared_ptr<const DriveFiles> files = nullptr);
  ~HiveStore() override;
  HiveStore(const HiveStore&) = delete;
  HiveStore& operator=(const HiveStore&) = delete;

  bool RootPath(std::uint32_t root, std::string* path) override;
  bool OpenKey(const std::string& parent, const std::u16string& subKey, std::string* path) override;
  bool QueryValue(const std::string& path, const std::u16string& name, StoredValue* value) override;
  bool KeyNames(const std::string& path, std::vector<std::u16string>* names) override;
  bool ValueNames(const std::string& path, std::vector<std::u16string>* names) override;
  bool IsLink(const std::string& parent, const std::u16string& name) override;
  bool KeyInfo(const std::string& path, RegKeyInfo* info) override;
  bool DeletedRecords(const std::string& path, std::vector<RegDeletedKey>* keys,
                      std::vector<RegDeletedValue>* orphans) override;
  bool HoldsDeletedRecords() const override { return true; }

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
