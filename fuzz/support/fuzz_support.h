// What the fuzz targets share: property checks that end the run, and scratch
// files that live as long as the fuzzing process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Every byte as two upper-case hexadecimal digits, as the tool writes them.
std::string Hex(const std::string& bytes);

class MemoryStore;

// A property the code must keep: a violation is a finding, reported with
// `what`, and ends the run (libFuzzer then saves the input).
#define FUZZ_CHECK(condition, what) \
  ((condition) ? static_cast<void>(0) : FuzzViolation(#condition, what, __FILE__, __LINE__))
[[noreturn]] void FuzzViolation(const char* condition, const std::string& what, const char* file,
                                int line);

// A directory made on first use under TMPDIR, removed when the process exits.
const std::string& ScratchDir();
// Writes `bytes` to `name` in the scratch directory, replacing it; the path.
std::string WriteScratchFile(const std::string& name, const std::string& bytes);
std::string ReadScratchFile(const std::string& name);
void RemoveScratchFile(const std::string& name);

// Installs a fresh in-memory store as the registry every root opens
// (HKCU at MemoryStore::kUserRoot, the others at \Registry\Root<n>).
MemoryStore& InstallMemoryStore();
// The absolute path a root opens in that store.
std::string MemoryRootPath(std::uint32_t root);

// Reads the fuzz input front to back; past the end it gives zeros and empty
// strings, so that every input is a valid one.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte();
  std::uint32_t Word();
  // Up to `maxLength` bytes, as many as the next byte says.
  std::string ShortString(std::size_t maxLength);
  std::string Rest();

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};
