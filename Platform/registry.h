// The registry calls the tool needs, with the arguments and results the
// Win32 ANSI entry points have.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// An HKEY as a number. Predefined roots are the sign-extended 0x8000000X
// values, as Windows defines them.
using RegKey = std::uintptr_t;
// A Win32 error code: 0 is ERROR_SUCCESS.
using RegStatus = long;

constexpr RegStatus kRegSuccess = 0;
constexpr RegStatus kRegFileNotFound = 2;
constexpr RegStatus kRegAccessDenied = 5;
constexpr RegStatus kRegInvalidHandle = 6;
constexpr RegStatus kRegNotSupported = 50;
constexpr RegStatus kRegMoreData = 234;

// RegOpenKeyExA(base, subKey, 0, access, result).
RegStatus OpenRegKey(RegKey base, const std::string& subKey, std::uint32_t access, RegKey* result);
// RegCreateKeyExA(base, subKey, 0, nullptr, 0, access, nullptr, result, nullptr).
RegStatus CreateRegKey(RegKey base, const std::string& subKey, std::uint32_t access,
                       RegKey* result);
// RegQueryValueExA(key, name, nullptr, type, data, size). With data null
// it reports only the type and the size.
RegStatus QueryRegValue(RegKey key, const std::string& name, std::uint32_t* type, void* data,
                        std::uint32_t* size);
// RegQueryInfoKeyA, then RegEnumKeyExA or RegEnumValueA for each index:
// the names of the key's subkeys, or of its values, in the order given.
RegStatus ListRegSubKeys(RegKey key, std::vector<std::string>* names);
RegStatus ListRegValues(RegKey key, std::vector<std::string>* names);
void FlushRegKey(RegKey key);
// Before any output: false, with the message (ANSI) for the user, when there
// is no registry to read. Windows always has one.
bool CheckRegistry(std::string* problem);
void CloseRegKey(RegKey key);

// The Unicode entry points, through which walks and exports read: names and
// data as the registry stores them, none passing the ANSI code page.

// RegQueryInfoKeyW's last-write time (a FILETIME: 100 ns units since 1601,
// UTC) and counts of subkeys and values.
struct RegKeyInfo {
  std::uint64_t lastWrite = 0;
  std::uint32_t subKeys = 0;
  std::uint32_t values = 0;
};

// RegOpenKeyExW(base, subKey, 0, access, result): `subKey` holds stored
// names separated by backslashes.
RegStatus OpenRegKeyW(RegKey base, const std::u16string& subKey, std::uint32_t access,
                      RegKey* result);
// RegQueryValueExW(key, name, ...) for the whole value: its type and every
// byte as stored (strings in UTF-16LE, as they are).
RegStatus QueryRegValueW(RegKey key, const std::u16string& name, std::uint32_t* type,
                         std::string* data);
// RegEnumKeyExW or RegEnumValueW for each index: the stored names, in the
// order given.
RegStatus ListRegSubKeysW(RegKey key, std::vector<std::u16string>* names);
RegStatus ListRegValuesW(RegKey key, std::vector<std::u16string>* names);
RegStatus QueryRegKeyInfo(RegKey key, RegKeyInfo* info);
// Whether the subkey `name` (one stored name) of `base` is a symbolic link.
bool IsRegLinkW(RegKey base, const std::u16string& name);
// Opens the subkey `name` (one stored name) of `base` itself, a link not
// followed (REG_OPTION_OPEN_LINK): `*isLink` tells whether it is one, and a
// link is closed again. One open serves a walk's link test and its open.
RegStatus OpenRegChildW(RegKey base, const std::u16string& name, std::uint32_t access, bool* isLink,
                        RegKey* result);

// Records recovered from the unallocated cells of a hive file (/D): keys
// and values deleted since, which Windows itself never lists.
struct RegDeletedValue {
  std::u16string name;
  std::uint32_t type = 0;
  std::string data;  // every byte as stored; empty when not reliable
  // False when its cell was reused since: the data is not known.
  bool reliable = true;
};

struct RegDeletedKey {
  // The names below the key asked, its own last; for a partial key, the
  // names that could be rebuilt, from wherever its parent chain broke.
  std::vector<std::u16string> path;
  bool partial = false;
  std::uint64_t lastWrite = 0;  // FILETIME
  std::vector<RegDeletedValue> values;
};

// The deleted keys of the hive holding `key` whose path lies beneath it (or
// is its own), in file order; partial keys, and values that no key lists
// any more, only when `key` is the hive's root key. Beneath a root that
// mounts hives (HKLM, HKU), each hive's keys, its name first.
// kRegNotSupported where the registry is not read from hive files.
RegStatus ListDeletedRecords(RegKey key, std::vector<RegDeletedKey>* keys,
                             std::vector<RegDeletedValue>* orphans);
// Whether the registry is read from hive files, which keep deleted records.
bool HoldsDeletedRecords();

}  // namespace platform
