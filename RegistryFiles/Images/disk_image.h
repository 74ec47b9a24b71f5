// A disk image or block device as a registry source: its format told from
// its content, its Windows volume found among its NTFS file systems.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "RegistryFiles/Images/drive_files.h"

namespace platform {

struct DiskImage {
  std::shared_ptr<const DriveFiles> files;  // the Windows volume's, null when none
  std::string format;                       // for --version
  std::string volume;                       // the volume used, for --version
  std::string missing;                      // what was not found (Windows-1252)
  // Several Windows volumes, damage seen while looking for Windows: each a
  // line (Windows-1252) for the run's standard error and for --version.
  std::vector<std::string> warnings;
};

// Opens `path` (UTF-8) read-only; NAME.001 brings NAME.002... with it.
// HIVTAP_VOLUME picks the volume: a partition number as the Sleuth Kit
// numbers it, or "@" and a byte offset.
DiskImage OpenDiskImage(const std::string& path);

}  // namespace platform
