// A registry store held in memory, for the unit tests and the fuzz targets.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

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

  bool RootPath(std::uint32_t root, std::string* path) override;
  bool OpenKey(const std::string& parent, const std::string& subKey, std::string* path) override;
  bool QueryValue(const std::string& path, const std::string& name,
                  platform::StoredValue* value) override;

 private:
  void AddKeys(const std::string& upperPath);

  std::map<std::uint32_t, std::string> roots_;
  std::set<std::string> keys_;
  std::map<std::string, platform::StoredValue> values_;
};
