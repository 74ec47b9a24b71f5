// The registry of a Windows installation as Windows itself assembles it at
// boot and logon, from its hive files: each hive mounted at its place,
// CurrentControlSet and HKCU\Software\Classes as the links Windows makes,
// HKCR merged.
#pragma once

#include <hivex.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "Platform/charset_posix.h"
#include "Platform/registry_store.h"
#include "RegistryFiles/Images/drive_files.h"

namespace platform {

// A key: a virtual root, a key of one hive, or an HKCR key with its two
// sides (the user's classes first, then the machine's).
struct KeyRef {
  enum Kind : std::uint8_t { kAbsent, kMachine, kUsers, kHive, kMerged } kind = kAbsent;
  int mount = -1;
  hive_node_h node = 0;
  int mount2 = -1;
  hive_node_h node2 = 0;
  bool operator==(const KeyRef& o) const {
    return std::tie(kind, mount, node, mount2, node2) ==
           std::tie(o.kind, o.mount, o.node, o.mount2, o.node2);
  }
};

class HiveTree {
 public:
  // `drive`: `folder` is a system drive, else a folder of collected hives;
  // `files` holds it (null: the folders here).
  HiveTree(const std::string& folder, bool drive,
           std::shared_ptr<const DriveFiles> files = nullptr);
  ~HiveTree();
  HiveTree(const HiveTree&) = delete;
  HiveTree& operator=(const HiveTree&) = delete;

  // A predefined root (0x80000000 to 0x80000006): kAbsent when it is
  // missing here, nullopt for a root that opens no key.
  std::optional<KeyRef> Root(std::uint32_t root);
  // `rel` beneath `key`: parts separated by backslashes, links followed.
  std::optional<KeyRef> Walk(const KeyRef& key, const U16& rel);
  // The value `name` ("" for the default value) as stored; false when it
  // is missing or cannot be read.
  bool Query(const KeyRef& key, const U16& name, StoredValue* value);
  // What was mapped, as lines of text (Windows-1252) for --version: the hive
  // files found, the current control set, HKCU's profile, and the warnings a
  // run would give about them, which are not written here.
  std::vector<std::string> Describe();
  // The names of the key's subkeys or values, as Windows lists them (in
  // any order); false for a missing key.
  bool KeyNames(const KeyRef& key, std::vector<U16>* names);
  bool ValueNames(const KeyRef& key, std::vector<U16>* names);
  // Whether the subkey `name` of `key` is a link, stored or made at boot.
  bool IsLink(const KeyRef& key, const U16& name);
  // Its last-write time and the counts its lists give; false for a
  // missing key.
  bool KeyInfo(const KeyRef& key, RegKeyInfo* info);
  // The records recovered from the key's hive beneath the key, as
  // ListDeletedRecords gives them; beneath HKLM and HKU those of each hive
  // mounted there, and none beneath HKCR's merged keys.
  void Recovered(const KeyRef& key, std::vector<RegDeletedKey>* keys,
                 std::vector<RegDeletedValue>* orphans);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
