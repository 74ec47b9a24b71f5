// Which registry the native build reads: a folder named by the environment,
// and what its content makes it.
#pragma once

#include <memory>
#include <string>

#include "Platform/registry_store.h"
#include "RegistryFiles/Images/disk_image.h"

namespace platform {

enum class SourceKind {
  kNone,            // missing, or holds no registry file
  kWinePrefix,      // system.reg, user.reg
  kWindowsDrive,    // Windows/System32/config/
  kCollectedHives,  // SYSTEM, SOFTWARE, NTUSER.DAT... side by side
  kHiveFile,        // one of those alone, named by itself
  kDiskImage,       // a disk image or block device with a Windows volume
};

struct RegistrySource {
  std::string folder;  // as the environment names it (UTF-8); may be a file
  bool exists = false;
  SourceKind kind = SourceKind::kNone;
  DiskImage image;  // what a file or device that is no hive holds
};

// HIVTAP_REGISTRY, else WINEPREFIX, else ~/.wine; its kind from what it holds,
// names matched in any letter case.
RegistrySource LocateRegistrySource();

// For --version, in Windows-1252 lines ended by LF: the folder and its
// kind; for hive files, also what was mapped (HiveTree::Describe).
std::string DescribeRegistrySource(const RegistrySource& source);

// The message (Windows-1252) for a source that holds no registry: a missing
// folder, one without registry files, a file that is no hive or whose name
// is no hive's.
std::string MissingRegistryMessage(const RegistrySource& source);

// The entry of `dir` (UTF-8) named `name` (ANSI) in any letter case, as a
// full path; empty when there is none.
std::string FindEntry(const std::string& dir, const std::string& name);

// The store for that source; null for kNone.
std::unique_ptr<RegistryStore> CreateRegistryStore(const RegistrySource& source);

}  // namespace platform
