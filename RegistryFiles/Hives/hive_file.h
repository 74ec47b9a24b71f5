// One hive file open through libhivex, read-only. OpenHive is the one place
// a hive is opened: a hive rebuilt in memory (log replay) goes through
// OpenHiveImage instead.
#pragma once

#include <hivex.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "RegistryFiles/Hives/hive_cells.h"
#include "RegistryFiles/Hives/hive_recovery.h"
#include "RegistryFiles/mapping_guard.h"
#include "RegistryFiles/unique_fd.h"

namespace platform {

constexpr std::size_t kBaseBlockSize = 4096;

// The XOR-32 checksum of the first 508 bytes of a base block.
std::uint32_t BaseBlockChecksum(const unsigned char* block);

struct BaseBlockState {
  bool signature = false;  // "regf"
  bool checksumOk = false;
  bool sequencesEqual = false;
  bool Dirty() const { return !checksumOk || !sequencesEqual; }
};
BaseBlockState InspectBaseBlock(const unsigned char* block, std::size_t size);

// An anonymous in-memory file holding `bytes`, sealed against writes; -1 on
// failure. Its /proc/self/fd path opens it by name.
int MemoryFile(const char* label, const std::string& bytes);
// The same made in steps: an empty one (-1 on failure), bytes appended, and
// the seal once it is whole.
int NewMemoryFile(const char* label);
bool AppendToFile(int fd, const char* data, std::size_t size);
bool SealMemoryFile(int fd);

class HiveFile {
 public:
  HiveFile(hive_h* hive, int fd, std::string name);
  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;

  hive_h* get() const { return hive_; }
  const std::string& name() const { return name_; }
  // For a hive found dirty, what its logs did (HiveRecovery::replay).
  const std::string& replay() const { return replay_; }
  void SetReplay(std::string replay) { replay_ = std::move(replay); }
  // The key node's flags (nk cell), 0 when they cannot be read.
  std::uint16_t KeyFlags(hive_node_h node) const;
  // The image hivex reads, mapped read-only; null when it could not be.
  const unsigned char* image() const { return bytes_; }
  std::size_t imageSize() const { return size_; }
  HiveCells cells() const { return HiveCells(bytes_, size_); }
  // Guards hivex's mapping and ours: a file cut short reads as zeros.
  MappingWatch& watch() { return watch_; }

 private:
  MappingWatch watch_;  // outlives both mappings
  hive_h* hive_;
  // The same bytes mapped read-only, for what hivex does not expose.
  const unsigned char* bytes_ = nullptr;
  std::size_t size_ = 0;
  std::string name_;
  std::string replay_;
};

// Opens the hive at `path` (UTF-8). A dirty hive gets one warning on
// standard error and is read as it is; one with a bad checksum is read
// through a corrected copy in memory. Null, with a warning, when the file
// is no hive hivex accepts.
std::unique_ptr<HiveFile> OpenHive(const std::string& path);

// Opens a hive read into memory from a disk image, as OpenHive opens a file:
// `logs` (LOG1, LOG2 or LOG, read the same way) replayed when it is dirty.
std::unique_ptr<HiveFile> OpenHiveBytes(const std::string& name, std::string bytes,
                                        const std::vector<HiveLogFile>& logs);

// Opens a clean hive already whole in a sealed memory file, as OpenHive
// opens a file: a hive read out of a disk image with no copy of its own.
std::unique_ptr<HiveFile> OpenHiveMemory(const std::string& name, UniqueFd& fd);

// Opens a hive image held in memory; `name` names it in warnings.
std::unique_ptr<HiveFile> OpenHiveImage(const std::string& name, const std::string& bytes);

}  // namespace platform
