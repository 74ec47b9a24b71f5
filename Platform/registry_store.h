// Where the POSIX registry layer finds keys and values. The default store
// reads a Wine prefix; tests install one of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/registry.h"

namespace platform {

// Value types as Windows numbers them (REG_SZ...).
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegLink = 6;
constexpr std::uint32_t kRegMultiSz = 7;

// The types whose data RegQueryValueExA converts to the ANSI code page.
inline bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// One value as the store holds it: its type and every byte as stored
// (strings in UTF-16LE). The registry layer narrows string types to the ANSI
// code page for the A calls, as advapi32 does over the Unicode ones.
struct StoredValue {
  std::uint32_t type = 0;
  std::string data;
};

// Keys are named by paths that the store gives out (its own tokens, such
// as \Registry\Machine\Software). Names are UTF-16 as stored and compare
// case-insensitively, as Windows compares them.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  // The path of a predefined root (0x80000000 to 0x80000006); false for a
  // root that opens no key.
  virtual bool RootPath(std::uint32_t root, std::string* path) = 0;
  // Opens `subKey` (names separated by backslashes, possibly empty) beneath
  // the existing key `parent`, following symbolic links.
  virtual bool OpenKey(const std::string& parent, const std::u16string& subKey,
                       std::string* path) = 0;
  // Finds the value `name` (empty: the default value) of the key `path`.
  virtual bool QueryValue(const std::string& path, const std::u16string& name,
                          StoredValue* value) = 0;
  // The stored names of the subkeys, or of the values (empty: the default
  // value), of the key `path`, in any order; false when the key is missing.
  virtual bool KeyNames(const std::string& path, std::vector<std::u16string>* names) = 0;
  virtual bool ValueNames(const std::string& path, std::vector<std::u16string>* names) = 0;
  // Whether the subkey `name` of the key `parent` is a symbolic link, the
  // link itself not followed.
  virtual bool IsLink(const std::string& parent, const std::u16string& name) = 0;
  // The key's last-write time and counts; false when the key is missing.
  virtual bool KeyInfo(const std::string& path, RegKeyInfo* info) = 0;
  // The deleted records of the hive holding the key `path`, as
  // ListDeletedRecords gives them; false where no hive file is read.
  virtual bool DeletedRecords(const std::string& /*path*/, std::vector<RegDeletedKey>* /*keys*/,
                              std::vector<RegDeletedValue>* /*orphans*/) {
    return false;
  }
  virtual bool HoldsDeletedRecords() const { return false; }
};

// Replaces the store the registry calls use; null restores the default,
// which is created on first use.
void SetRegistryStore(std::unique_ptr<RegistryStore> store);

// The registry source the environment names. The sources (RegistryFiles/)
// define these: this layer is handed them when the program is linked, and
// never reaches up for them.
// Its store; null when it holds no registry.
std::unique_ptr<RegistryStore> CreateDefaultRegistryStore();
// The message (Windows-1252) for the user when it holds no registry.
std::string DefaultRegistryProblem();
// For --version, in Windows-1252 lines ended by LF: the source, its kind, and
// what was mapped.
std::string DescribeDefaultRegistry();

}  // namespace platform
