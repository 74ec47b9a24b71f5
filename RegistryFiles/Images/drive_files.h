// The file tree a Windows drive is read from: a mounted folder, or an NTFS
// volume inside a disk image. The hive code finds and opens its files only
// through this seam. Paths are UTF-8 and '/'-separated.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "RegistryFiles/Hives/hive_file.h"

namespace platform {

class DriveFiles {
 public:
  virtual ~DriveFiles() = default;
  // The entry of `dir` named `name` (ANSI) in any letter case, as a full
  // path; empty when there is none.
  virtual std::string Find(const std::string& dir, const std::string& name) const = 0;
  // The names of `dir`'s entries, without "." and "..".
  virtual std::vector<std::string> List(const std::string& dir) const = 0;
  virtual bool IsFile(const std::string& path) const = 0;
  // The hive at `path`, a dirty one with its logs replayed in memory; null,
  // with a warning, when it cannot be read.
  virtual std::unique_ptr<HiveFile> OpenHive(const std::string& path) const = 0;
};

// The folder implementation: the files themselves.
class FolderFiles : public DriveFiles {
 public:
  std::string Find(const std::string& dir, const std::string& name) const override;
  std::vector<std::string> List(const std::string& dir) const override;
  bool IsFile(const std::string& path) const override;
  std::unique_ptr<HiveFile> OpenHive(const std::string& path) const override;
};

// Shared: most callers read folders.
const DriveFiles& Folders();

}  // namespace platform
