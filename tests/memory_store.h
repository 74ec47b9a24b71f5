// A registry store held in memory, for the unit tests and the fuzz targets.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Platform/registry_store.h"

// Keys by folded absolute path; a key exists with any key beneath it. The
// paths it gives out are UTF-8.
class MemoryStore : public platform::RegistryStore {
 public:
  // HKEY_CURRENT_USER's absolute path, the one root every store has.
  static const char kUserRoot[];

  MemoryStore();

  // Makes `root` (0x80000000 to 0x80000006) open the key at `path`.
  void AddRoot(std::uint32_t root, const std::string& path);
  // Sets a value of the key at the absolute `path`, creating keys as needed.
  // Path and name are Windows-1252, and string data is what
  // RegQueryValueExA delivers: it is stored widened, as Windows stores it.
  void Set(const std::string& path, const std::string& name, std::uint32_t type,
           const std::string& data);
  // The same with names and data as stored.
  void Set(const std::u16string& path, const std::u16string& name, std::uint32_t type,
           const std::string& data);
  // Makes the key at `path` a link to the absolute path `target`.
  void AddLink(const std::string& path, const std::string& target);
  // The last-write time KeyInfo gives for the key at `path`, created if need be.
  void SetTime(const std::u16string& path, std::uint64_t lastWrite);

  bool RootPath(std::uint32_t root, std::string* path) override;
  bool OpenKey(const std::string& parent, const std::u16string& subKey, std::string* path) override;
  bool QueryValue(const std::string& path, const std::u16string& name,
                  platform::StoredValue* value) override;
  bool KeyNames(const std::string& path, std::vector<std::u16string>* names) override;
  bool ValueNames(const std::string& path, std::vector<std::u16string>* names) override;
  bool IsLink(const std::string& parent, const std::u16string& name) override;
  bool KeyInfo(const std::string& path, platform::RegKeyInfo* info) override;

 private:
  using U16 = std::u16string;
  // The key's path as first spelled, made with the keys above it.
  const U16& AddKeys(const U16& path);

  std::map<std::uint32_t, U16> roots_;
  std::map<U16, U16> keys_;   // folded path: as first spelled
  std::map<U16, U16> links_;  // folded path: target
  std::map<U16, std::uint64_t> times_;
  // Folded path and name: the name as first spelled, and the value.
  std::map<std::pair<U16, U16>, std::pair<U16, platform::StoredValue>> values_;
};
