#include <windows.h>

#include "Platform/file.h"

namespace platform {
namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
std::intptr_t FromHandle(HANDLE h) { return reinterpret_cast<std::intptr_t>(h); }

// Names the platform would have to cut are refused, never shortened.
bool NameFits(const std::string& name) { return name.size() <= kMaxFileName; }

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(other.handle_), owned_(other.owned_) {
  other.handle_ = kNone;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    owned_ = other.owned_;
    other.handle_ = kNone;
  }
  return *this;
}

bool File::Read(void* buffer, std::size_t size, std::size_t* done) {
  DWORD n = 0;
  const BOOL ok = ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(size), &n, nullptr);
  *done = n;
  // A pipe whose writer has gone is the end of the text, not a failure.
  return ok || GetLastError() == ERROR_BROKEN_PIPE;
}

bool File::Write(const void* data, std::size_t size, std::size_t* done) {
  const char* p = static_cast<const char*>(data);
  std::size_t written = 0;
  bool ok = true;
  while (written < size) {
    DWORD n = 0;
    const BOOL wrote =
        WriteFile(AsHandle(handle_), p + written, static_cast<DWORD>(size - written), &n, nullptr);
    written += n;
    if (!wrote || n == 0) {
      ok = false;
      break;
    }
  }
  if (done != nullptr) *done = written;
  return ok;
}

bool File::Size(std::uint64_t* size) const {
  DWORD high = 0;
  SetLastError(NO_ERROR);  // a size of 0xFFFFFFFF is no failure
  const DWORD low = GetFileSize(AsHandle(handle_), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = (static_cast<std::uint64_t>(high) << 32) | low;
  return true;
}

bool File::Truncate(std::uint64_t size) {
  LONG high = static_cast<LONG>(size >> 32);
  SetLastError(NO_ERROR);
  const DWORD low =
      SetFilePointer(AsHandle(handle_), static_cast<LONG>(size & 0xFFFFFFFFu), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
  return SetEndOfFile(AsHandle(handle_)) != 0;
}

FileType File::Type() const {
  switch (GetFileType(AsHandle(handle_))) {
    case FILE_TYPE_DISK:
      return FileType::kDisk;
    case FILE_TYPE_CHAR:
      return FileType::kChar;
    case FILE_TYPE_PIPE:
      return FileType::kPipe;
    default:
      return FileType::kUnknown;
  }
}

bool File::Close() {
  const std::intptr_t h = handle_;
  handle_ = kNone;
  if (h == kNone || !owned_) return true;
  return CloseHandle(AsHandle(h)) != 0;
}

File File::Standard(StdStream which) {
  const DWORD id = which == StdStream::kInput    ? STD_INPUT_HANDLE
                   : which == StdStream::kOutput ? STD_OUTPUT_HANDLE
                                                 : STD_ERROR_HANDLE;
  return File(FromHandle(GetStdHandle(id)), false);
}

File File::OpenRead(const std::string& name) {
  if (!NameFits(name)) return File();
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return File();
  return File(FromHandle(h), true);
}

File File::OpenAppend(const std::string& name) {
  if (!NameFits(name)) return File();
  // OPEN_ALWAYS: a file that appears after the existence test is extended,
  // never replaced.
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return File();
  File file(FromHandle(h), true);
  LONG high = 0;
  if (SetFilePointer(h, 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    return File();
  }
  return file;
}

const char* ConsoleLineEnd() { return "\r\n"; }

bool FileExists(const std::string& name) {
  // Wildcards would make the directory search match a pattern; no file can
  // carry them in its name.
  if (name.find_first_of("*?<>") != std::string::npos) return false;
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(name.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string LastFileError() { return std::string(); }

}  // namespace platform
