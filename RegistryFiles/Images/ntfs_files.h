// The files of an NTFS volume inside a disk image, read through the Sleuth
// Kit: the drive seam's second implementation. Paths start at "/".
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "RegistryFiles/Images/drive_files.h"
#include "RegistryFiles/Images/tsk_handles.h"

namespace platform {

class NtfsFiles : public DriveFiles {
 public:
  // `image` (UTF-8) names the image in warnings.
  NtfsFiles(std::shared_ptr<TskVolume> volume, std::string image);

  std::string Find(const std::string& dir, const std::string& name) const override;
  std::vector<std::string> List(const std::string& dir) const override;
  bool IsFile(const std::string& path) const override;
  std::unique_ptr<HiveFile> OpenHive(const std::string& path) const override;

  // The whole file, false (with one warning) when the image cannot give it.
  bool Read(const std::string& path, std::string* bytes) const;

  // While quiet, damage is only kept: the volume is still being looked at.
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  // The warnings for the damage kept while quiet (Windows-1252).
  const std::vector<std::string>& kept() const { return kept_; }

 private:
  TskFile Open(const std::string& path) const;
  // Whether the file's first sector is that of a dirty hive.
  bool StartsDirty(const TskFile& file) const;
  // The whole of `file` (opened from `path`) handed to `sink` in pieces, or
  // into `bytes`, as Read.
  bool ReadPieces(const TskFile& file, const std::string& path,
                  const std::function<bool(const char*, std::size_t)>& sink) const;
  bool ReadAll(const TskFile& file, const std::string& path, std::string* bytes) const;
  // One warning per damaged path.
  void Damaged(const std::string& path) const;

  std::shared_ptr<TskVolume> volume_;
  std::string image_;
  mutable std::map<std::string, std::vector<std::string>> lists_;
  // The paths that their directory lists as files: a damaged file record
  // is still the file its name says, to be warned of when read.
  mutable std::set<std::string> listedFiles_;
  mutable std::set<std::string> warned_;
  mutable std::vector<std::string> kept_;
  bool quiet_ = false;
};

}  // namespace platform
