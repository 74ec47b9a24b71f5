// A file mapped read-only into memory, unmapped with its owner.
#pragma once

#include <cstddef>
#include <string>

#include "RegistryFiles/mapping_guard.h"

namespace platform {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // False when `path` is not a regular file that can be read. A file cut
  // short while mapped reads as zeros past its new end (mapping_guard.h).
  bool Open(const std::string& path);
  const char* data() const { return data_; }
  std::size_t size() const { return size_; }
  // Drops the resident pages before `offset` from this process: they stay in
  // the page cache and are read again on the next access.
  void Release(std::size_t offset) const;

 private:
  // Declared first: it outlives the mapping it guards.
  MappingWatch watch_;
  const char* data_ = "";
  std::size_t size_ = 0;
  bool mapped_ = false;
};

}  // namespace platform
