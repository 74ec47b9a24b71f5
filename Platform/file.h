// Files and standard streams, with the Windows semantics the tool relies on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class StdStream { kInput, kOutput, kError };

// What GetFileType reports.
enum class FileType { kUnknown = 0, kDisk = 1, kChar = 2, kPipe = 3 };

// An owned file handle. Standard stream handles are borrowed, not closed.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsOpen() const { return handle_ != kNone; }
  // Reads up to `size` bytes; false on failure. `*done` is 0 at the end.
  bool Read(void* buffer, std::size_t size, std::size_t* done);
  // Writes all `size` bytes; false when not all of them were written.
  // `*done`, when asked for, counts the bytes written, also on failure.
  bool Write(const void* data, std::size_t size, std::size_t* done = nullptr);
  // The size of a disk file written at its end, in bytes; false on failure
  // and where no line could be cut back (a pipe, a device, a descriptor
  // inherited at a place inside its file).
  bool Size(std::uint64_t* size) const;
  // Cuts the file to `size` bytes and moves the position to that end.
  bool Truncate(std::uint64_t size);
  FileType Type() const;
  // The handle or descriptor itself, for the interrupt handlers.
  std::intptr_t native() const { return handle_; }
  // Closes an owned handle; false when the platform reports a failure.
  bool Close();

  static File Standard(StdStream which);
  // Opens an existing file for reading, sharing it with readers only.
  static File OpenRead(const std::string& name);
  // Opens a file for writing at its end, creating it when absent, in one
  // step; others may read it but not write it while it is open.
  static File OpenAppend(const std::string& name);

 private:
  static constexpr std::intptr_t kNone = -1;
  File(std::intptr_t handle, bool owned) : handle_(handle), owned_(owned) {}

  std::intptr_t handle_ = kNone;
  bool owned_ = false;
};

// The line end of what is written to standard output and standard error:
// CR LF on Windows; LF on POSIX, where terminals and the tools a pipe feeds
// expect it. Files keep CR LF on both.
const char* ConsoleLineEnd();

// Why the last failed call of File failed, in the system's words; empty
// where the tool's own message stands alone (Windows).
std::string LastFileError();

// The longest file name, in bytes before the NUL, that the platform takes.
constexpr std::size_t kMaxFileName = 258;

// True when the directory search finds an entry of exactly this name (never
// a wildcard pattern) and that entry is not a directory.
bool FileExists(const std::string& name);

}  // namespace platform
