// The registry calls over a RegistryStore: handles name key paths. The
// store is Unicode; the A calls widen names and narrow what they give back,
// as advapi32's A functions do over the W ones.
#include <algorithm>
#include <cstring>
#include <map>

#include "Platform/charset_posix.h"
#include "Platform/registry.h"
#include "Platform/registry_store.h"

namespace platform {
namespace {

constexpr std::uint32_t kClassesRoot = 0x80000000;
constexpr RegStatus kRegInvalidParameter = 87;
constexpr RegStatus kRegBadPathname = 161;
// Measured under Wine. RegOpenKeyExA widens the path into the thread's static
// buffer of 261 units, its NUL included: 261 characters fail. The server
// refuses key names of more than 256 characters and finds no value whose name
// has more than 16383 (beyond 32766, RegQueryValueExA refuses it). Every store
// gets the same limits here.
constexpr std::size_t kMaxAnsiKeyPath = 260;
constexpr std::size_t kMaxKeyName = 256;
constexpr std::size_t kMaxValueName = 16383;
// RtlInitUnicodeString keeps a W name's length in 16 bits of bytes: longer
// names are cut to this many units.
constexpr std::size_t kMaxWideName = 0x7FFE;

struct OpenKeys {
  std::unique_ptr<RegistryStore> store;
  std::map<RegKey, std::string> paths;
  RegKey next = 1;
  bool located = false;
};

OpenKeys& State() {
  static OpenKeys state;
  return state;
}

// Null when the source holds no registry: every key is then missing.
RegistryStore* Store() {
  OpenKeys& state = State();
  if (!state.store && !state.located) {
    state.located = true;
    state.store = CreateDefaultRegistryStore();
  }
  return state.store.get();
}

// Predefined roots are the sign-extended values 0x80000000 to 0x80000006.
bool IsPredefined(RegKey key, std::uint32_t* root) {
  const auto value = static_cast<std::intptr_t>(key);
  if (value < INT32_MIN || value > INT32_MIN + 6) return false;
  *root = static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
  return true;
}

// The key's path, without a copy; null for an unknown handle.
const std::string* PathOf(RegKey key) {
  std::uint32_t root = 0;
  if (IsPredefined(key, &root)) {
    static std::string rootPath;
    return Store() && Store()->RootPath(root, &rootPath) ? &rootPath : nullptr;
  }
  const auto& paths = State().paths;
  const auto it = paths.find(key);
  return it == paths.end() ? nullptr : &it->second;
}

// What an ANSI entry point sees of a name: the text up to its first NUL,
// whose length is then kept in 16 bits (RtlInitAnsiString), so that 65536
// more characters wrap around to the same name.
std::string AnsiName(const std::string& name) {
  std::string seen = name.substr(0, name.find('\0'));
  seen.resize(seen.size() % 0x10000);
  return seen;
}

// What a W entry point sees of a name: the text up to its first NUL, cut as
// RtlInitUnicodeString cuts it. Most names are seen whole, without a copy.
const U16& WideName(const U16& name, U16* cut) {
  const std::size_t end = std::min(name.find(u'\0'), kMaxWideName);
  if (end >= name.size()) return name;
  cut->assign(name, 0, end);
  return *cut;
}

// Both sides refuse the same key names, counted in characters.
template <typename String>
bool HasLongKeyName(const String& path) {
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == String::npos) end = path.size();
    if (end - start > kMaxKeyName) return true;
    start = end + 1;
  }
  return false;
}

// Opens the key `path` (its limits checked) beneath `base`.
RegStatus OpenBelow(RegKey base, const U16& path, RegKey* result) {
  const std::string* basePath = PathOf(base);
  if (!basePath) return kRegInvalidHandle;
  std::string keyPath;
  if (!Store()->OpenKey(*basePath, path, &keyPath)) return kRegFileNotFound;
  OpenKeys& state = State();
  *result = state.next++;
  state.paths.emplace(*result, std::move(keyPath));
  return kRegSuccess;
}

// The value `name` (its limits checked) of `key`.
RegStatus Query(RegKey key, const U16& name, StoredValue* value) {
  if (name.size() > kMaxValueName) return kRegFileNotFound;
  const std::string* path = PathOf(key);
  if (!path) return kRegInvalidHandle;
  return Store()->QueryValue(*path, name, value) ? kRegSuccess : kRegFileNotFound;
}

RegStatus List(RegKey key, bool values, std::vector<U16>* names) {
  names->clear();
  const std::string* path = PathOf(key);
  if (!path) return kRegInvalidHandle;
  const bool found = values ? Store()->ValueNames(*path, names) : Store()->KeyNames(*path, names);
  return found ? kRegSuccess : kRegFileNotFound;
}

RegStatus ListAnsi(RegKey key, bool values, std::vector<std::string>* names) {
  static std::vector<U16> wide;
  const RegStatus status = List(key, values, &wide);
  names->clear();
  for (const U16& name : wide) names->push_back(NarrowToAnsi(name.data(), name.size()));
  return status;
}

// A name widened for the store, into a buffer reused from call to call.
const U16& Widened(const std::string& ansi) {
  static U16 wide;
  WidenAnsi(ansi, &wide);
  return wide;
}

}  // namespace

void SetRegistryStore(std::unique_ptr<RegistryStore> store) {
  State().located = store != nullptr;
  State().store = std::move(store);
  State().paths.clear();
}

RegStatus OpenRegKey(RegKey base, const std::string& subKey, std::uint32_t, RegKey* result) {
  std::uint32_t root = 0;
  const bool predefined = IsPredefined(base, &root);
  std::string path = subKey.substr(0, subKey.find('\0'));
  // Windows hands back a predefined root itself for an empty path, also
  // for the roots that hold no values.
  if (predefined && path.empty()) {
    *result = base;
    return kRegSuccess;
  }
  // A path may not start with a backslash, but for one beneath HKCR, whose
  // backslash is dropped before the length counts.
  if (predefined && root == kClassesRoot && path[0] == '\\') path.erase(0, 1);
  path = AnsiName(path);
  if (path.size() > kMaxAnsiKeyPath) return kRegMoreData;
  if (!path.empty() && path[0] == '\\') return kRegBadPathname;
  if (HasLongKeyName(path)) return kRegInvalidParameter;
  return OpenBelow(base, Widened(path), result);
}

RegStatus OpenRegKeyW(RegKey base, const std::u16string& subKey, std::uint32_t, RegKey* result) {
  std::uint32_t root = 0;
  const bool predefined = IsPredefined(base, &root);
  U16 cut;
  U16 path = WideName(subKey, &cut);
  if (predefined && path.empty()) {
    *result = base;
    return kRegSuccess;
  }
  if (predefined && root == kClassesRoot && path[0] == u'\\') path.erase(0, 1);
  if (!path.empty() && path[0] == u'\\') return kRegBadPathname;
  if (HasLongKeyName(path)) return kRegInvalidParameter;
  return OpenBelow(base, path, result);
}

// The prefix is only ever read.
RegStatus CreateRegKey(RegKey, const std::string&, std::uint32_t, RegKey*) {
  return kRegAccessDenied;
}

RegStatus QueryRegValue(RegKey key, const std::string& name, std::uint32_t* type, void* data,
                        std::uint32_t* size) {
  StoredValue value;
  const RegStatus status = Query(key, Widened(AnsiName(name)), &value);
  if (status != kRegSuccess) return status;
  *type = value.type;
  // String types come narrowed, each UTF-16 unit to one byte.
  const bool narrow = IsStringType(value.type);
  const std::size_t bytes = narrow ? value.data.size() / 2 : value.data.size();
  const auto needed = static_cast<std::uint32_t>(bytes);
  if (data != nullptr) {
    if (*size < needed) {
      *size = needed;
      return kRegMoreData;
    }
    if (narrow) {
      NarrowLeToAnsi(value.data.data(), bytes, static_cast<char*>(data));
    } else if (needed > 0) {
      std::memcpy(data, value.data.data(), needed);
    }
  }
  *size = needed;
  return kRegSuccess;
}

RegStatus QueryRegValueW(RegKey key, const std::u16string& name, std::uint32_t* type,
                         std::string* data) {
  // The store fills the caller's buffer, whose room is reused.
  StoredValue value;
  value.data.swap(*data);
  U16 cut;
  const RegStatus status = Query(key, WideName(name, &cut), &value);
  value.data.swap(*data);
  if (status != kRegSuccess) {
    data->clear();
    return status;
  }
  *type = value.type;
  return kRegSuccess;
}

RegStatus ListRegSubKeys(RegKey key, std::vector<std::string>* names) {
  return ListAnsi(key, false, names);
}

RegStatus ListRegValues(RegKey key, std::vector<std::string>* names) {
  return ListAnsi(key, true, names);
}

RegStatus ListRegSubKeysW(RegKey key, std::vector<std::u16string>* names) {
  return List(key, false, names);
}

RegStatus ListRegValuesW(RegKey key, std::vector<std::u16string>* names) {
  return List(key, true, names);
}

RegStatus QueryRegKeyInfo(RegKey key, RegKeyInfo* info) {
  const std::string* path = PathOf(key);
  if (!path) return kRegInvalidHandle;
  *info = RegKeyInfo();
  return Store()->KeyInfo(*path, info) ? kRegSuccess : kRegFileNotFound;
}

bool IsRegLinkW(RegKey base, const std::u16string& name) {
  const std::string* path = PathOf(base);
  U16 cut;
  return path && Store()->IsLink(*path, WideName(name, &cut));
}

RegStatus OpenRegChildW(RegKey base, const std::u16string& name, std::uint32_t access, bool* isLink,
                        RegKey* result) {
  *isLink = IsRegLinkW(base, name);
  return *isLink ? kRegSuccess : OpenRegKeyW(base, name, access, result);
}

RegStatus ListDeletedRecords(RegKey key, std::vector<RegDeletedKey>* keys,
                             std::vector<RegDeletedValue>* orphans) {
  keys->clear();
  orphans->clear();
  const std::string* path = PathOf(key);
  if (!path) return kRegInvalidHandle;
  return Store()->DeletedRecords(*path, keys, orphans) ? kRegSuccess : kRegNotSupported;
}

bool HoldsDeletedRecords() { return Store() && Store()->HoldsDeletedRecords(); }

void FlushRegKey(RegKey) {}

bool CheckRegistry(std::string* problem) {
  if (Store()) return true;
  *problem = DefaultRegistryProblem();
  return false;
}

void CloseRegKey(RegKey key) { State().paths.erase(key); }

}  // namespace platform
