// A registry store held in memory, for the unit tests and the fuzz targets.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Platform/registry_store.h"

// Keys by upper-cased absolute path; a key exists with any key beneath it.
class MemoryStore : public platform::RegistryStore {
 public:
  // HKEY_CURRENT_USER's absolute path, the one root every store has.
  static const char kUserRoot[];

  MemoryStore();

  // Makes `root` (0x80000000 to 0x80000006) open the key at `path`.
  void AddRoot(std::uint32_t root, const std::string& path);
  // Sets a value of the key at the absolute `path`, creating keys as needed.
  void Set(const std::string& path, const std::string& name, std::uint32_t type,
           const std::string& data);
  // Makes the key at `path` a link to the absolute path `target`.
  void AddLink(const std::string& path, const std::string& target);

  bool RootPath(std::uint32_t root, std::string* path) override;
  bool OpenKey(const std::string& parent, const std::string& subKey, std::string* path) override;
  bool QueryValue(const std::string& path, const std::string& name,
                  platform::StoredValue* value) override;
  bool KeyNames(const std::string& path, std::vector<std::string>* names) override;
  bool ValueNames(const std::string& path, std::vector<std::string>* names) override;
  bool IsLink(const std::string& parent, const std::string& name) override;

 private:
  void AddKeys(const std::string& path);

  std::map<std::uint32_t, std::string> roots_;
  std::map<std::string, std::string> keys_;   // upper-cased path: as first spelled
  std::map<std::string, std::string> links_;  // upper-cased path: target
  // Upper-cased path and name: the name as spelled, and the value.
  std::map<std::string, std::pair<std::string, platform::StoredValue>> values_;
};
