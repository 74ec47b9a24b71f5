// A hive file ready for the hive library: the file itself when it is clean,
// else an anonymous in-memory copy recovered from the logs beside it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "RegistryFiles/unique_fd.h"

namespace platform {

// NAME.LOG1 and NAME.LOG2, or else NAME.LOG, beside `primary_path`, in any
// letter case; in that order.
std::vector<std::string> FindHiveLogs(const std::string& primary_path);
// The same choice among the names a folder holds: the log file names.
std::vector<std::string> ChooseHiveLogs(const std::string& primary_name,
                                        const std::vector<std::string>& entries);

// An anonymous in-memory file (memfd), closed with its owner.
class MemFile {
 public:
  MemFile() = default;
  // An empty one; throws std::system_error when it cannot be made.
  explicit MemFile(const char* name);

  bool valid() const { return fd_.valid(); }
  int fd() const { return fd_.get(); }
  int release() { return fd_.release(); }
  // "/proc/self/fd/N": opened by name, read-only, by this process.
  std::string path() const;

 private:
  UniqueFd fd_;
};

class RecoveredHive {
 public:
  RecoveredHive(std::string path, MemFile memory)
      : path_(std::move(path)), memory_(std::move(memory)) {}
  // What to open: the primary itself, or the recovered copy while this lives.
  const std::string& path() const { return path_; }
  bool recovered() const { return memory_.valid(); }

 private:
  std::string path_;
  MemFile memory_;
};

// The primary as Windows would load it. Only its first 512 bytes are read when
// it is clean. Warnings (Windows-1252) are appended; nothing is ever written
// beside the hive. Keep the result alive as long as the hive is open. Throws
// std::system_error when the in-memory copy cannot be made.
RecoveredHive OpenForReading(const std::string& primary_path, std::vector<std::string>* warnings,
                             std::string* replay = nullptr);

}  // namespace platform
