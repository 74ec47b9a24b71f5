// Where the POSIX registry layer finds keys and values. The default store
// reads a Wine prefix; tests install one of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// One value as RegQueryValueExA delivers it: string types already in the
// ANSI code page (Windows-1252), every other type as raw bytes.
struct StoredValue {
  std::uint32_t type = 0;
  std::string data;
};

// Keys are named by absolute paths in Wine's namespace, such as
// \Registry\Machine\Software. Names compare case-insensitively.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  // The absolute path of a predefined root (0x80000000 to 0x80000006);
  // false for a root that opens no key.
  virtual bool RootPath(std::uint32_t root, std::string* path) = 0;
  // Opens `subKey` (backslash-separated, possibly empty) beneath the existing
  // key `parent`, following symbolic links. On success gives the key's
  // absolute path, spelled as the store holds it.
  virtual bool OpenKey(const std::string& parent, const std::string& subKey, std::string* path) = 0;
  // Finds the value `name` (empty: the default value) of the key `path`.
  virtual bool QueryValue(const std::string& path, const std::string& name, StoredValue* value) = 0;
  // The names of the subkeys, or of the values (empty: the default value),
  // of the key `path`, in Windows-1252 as RegEnumKeyExA and RegEnumValueA
  // give them, in any order; false when the key is missing.
  virtual bool KeyNames(const std::string& path, std::vector<std::string>* names) = 0;
  virtual bool ValueNames(const std::string& path, std::vector<std::string>* names) = 0;
  // Whether the subkey `name` of the key `parent` is a symbolic link, the
  // link itself not followed.
  virtual bool IsLink(const std::string& parent, const std::string& name) = 0;
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
