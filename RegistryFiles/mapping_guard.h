// Mapped files that change while they are read. Truncating or rewriting a
// file in place makes its pages past the new end raise SIGBUS in every
// process that maps it. For the mappings guarded here the handler maps zeros
// from the file's new end to the mapping's end instead and counts the fault:
// the readers take zeros as damage, so what was lost reads as missing and
// the rest still reads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace platform {

// One file's guarded mappings, and whether a read found it changed.
class MappingWatch {
 public:
  // `name` (UTF-8) names the file in the warning.
  explicit MappingWatch(std::string name = std::string()) : name_(std::move(name)) {}
  ~MappingWatch();
  MappingWatch(const MappingWatch&) = delete;
  MappingWatch& operator=(const MappingWatch&) = delete;

  void SetName(std::string name) { name_ = std::move(name); }
  // Guards [data, data + size), a mapping from the start of the file open
  // as `fd`, which must stay mapped while this lives.
  void Guard(const void* data, std::size_t size, int fd);
  // Guards every such mapping of the file open as `fd` that this process
  // holds now and this watch does not: those a library made itself.
  void GuardMappingsOf(int fd);
  // The file's descriptor, kept to find its end when a fault is taken.
  int fd() const { return fd_; }
  void Mark() { changed_.store(true, std::memory_order_relaxed); }
  bool changed() const { return changed_.load(std::memory_order_relaxed); }
  // Whether the file was found changed; the first time, one warning on
  // standard error names it.
  bool Report();

 private:
  std::atomic<bool> changed_{false};
  bool reported_ = false;
  int fd_ = -1;
  std::string name_;
};

// While it lives, a fault in a mapping that no watch guards counts for
// `watch`: for a library that maps the file itself before its mapping can be
// guarded (hivex_open reads it whole). One reader thread at a time.
class MappingScope {
 public:
  explicit MappingScope(MappingWatch& watch);
  ~MappingScope();
  MappingScope(const MappingScope&) = delete;
  MappingScope& operator=(const MappingScope&) = delete;

 private:
  MappingWatch* previous_;
};

// Faults taken so far: a lookup during which it grows met a changed file.
std::uint64_t MappingFaults();
// Warns once for each guarded file found changed and not yet reported.
void ReportChangedMappings();

}  // namespace platform
