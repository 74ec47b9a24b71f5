// Files with the Windows semantics the tool relies on: names in the ANSI
// code page, backslash and slash both separating components, found
// case-insensitively when the exact name is absent, and share modes enforced
// with open-file-description locks.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "Platform/charset_posix.h"
#include "Platform/codepage.h"
#include "Platform/file.h"

namespace platform {
namespace {

// The errno of the last failure here, for the message that reports it.
int g_lastError = 0;

// Records `error` as the reason; false, for the failing path to return.
bool Failed(int error) {
  g_lastError = error;
  return false;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// The entry of `dir` whose name equals `name` but for letter case, or
// `name` itself when there is none.
std::string MatchEntry(const std::string& dir, const std::string& name) {
  std::unique_ptr<DIR, DirCloser> d(opendir(dir.empty() ? "." : dir.c_str()));
  if (!d) return name;
  const std::string wanted = UpperAnsi(Utf8ToAnsi(name));
  while (const dirent* e = readdir(d.get())) {
    if (UpperAnsi(Utf8ToAnsi(e->d_name)) == wanted) return e->d_name;
  }
  return name;
}

// The name in the file system's charset; a component that does not exist
// as spelled is looked for in any letter case, as Windows would find it.
std::string ResolveName(const std::string& ansiName) {
  // Names come from batch and list files written for Windows.
  std::string name = AnsiToUtf8(ansiName);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  struct stat st;
  if (name.empty() || lstat(name.c_str(), &st) == 0) return name;
  std::string resolved;
  std::size_t start = 0;
  if (name[0] == '/') {
    resolved = "/";
    start = 1;
  }
  while (start <= name.size()) {
    std::size_t slash = name.find('/', start);
    if (slash == std::string::npos) slash = name.size();
    const std::string part = name.substr(start, slash - start);
    if (!part.empty()) {
      std::string candidate = resolved + part;
      if (part != "." && part != ".." && lstat(candidate.c_str(), &st) != 0) {
        std::string dir = resolved;
        if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        candidate = resolved + MatchEntry(dir, part);
      }
      resolved = candidate;
      if (slash < name.size()) resolved += '/';
    }
    start = slash + 1;
  }
  return resolved;
}

// Names Windows refuses: too long, or holding a wildcard or a character no
// Windows file name may hold; refused here too rather than made.
bool NameFits(const std::string& name) {
  if (name.size() > kMaxFileName) return Failed(ENAMETOOLONG);
  return name.find_first_of("*?<>|") == std::string::npos || Failed(EINVAL);
}

bool Lock(int fd, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0 || Failed(errno);
}

// N for "/dev/fd/N" (standard output as "-" is named so), else -1.
int InheritedDescriptor(const std::string& name) {
  const std::string prefix = "/dev/fd/";
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size() ||
      name.size() > prefix.size() + 9) {
    return -1;
  }
  int fd = 0;
  for (std::size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    fd = fd * 10 + (name[i] - '0');
  }
  return fd;
}

bool IsDirectory(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && !Failed(EISDIR);
}

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
  for (;;) {
    const ssize_t n = read(static_cast<int>(handle_), buffer, size);
    if (n >= 0) {
      *done = static_cast<std::size_t>(n);
      return true;
    }
    if (errno != EINTR) {
      *done = 0;
      return Failed(errno);
    }
  }
}

bool File::Write(const void* data, std::size_t size, std::size_t* done) {
  const char* p = static_cast<const char*>(data);
  std::size_t written = 0;
  bool ok = true;
  while (written < size) {
    const ssize_t n = write(static_cast<int>(handle_), p + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing has found the disk full.
      ok = Failed(n < 0 ? errno : ENOSPC);
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  if (done != nullptr) *done = written;
  return ok;
}

bool File::Size(std::uint64_t* size) const {
  const int fd = static_cast<int>(handle_);
  struct stat st;
  if (handle_ == kNone || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // An inherited descriptor may write inside the file: its end is no line's.
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || ((flags & O_APPEND) == 0 && lseek(fd, 0, SEEK_CUR) != st.st_size)) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool File::Truncate(std::uint64_t size) {
  const int fd = static_cast<int>(handle_);
  const off_t at = static_cast<off_t>(size);
  return ftruncate(fd, at) == 0 && lseek(fd, at, SEEK_SET) == at;
}

FileType File::Type() const {
  struct stat st;
  if (handle_ == kNone || fstat(static_cast<int>(handle_), &st) != 0) return FileType::kUnknown;
  if (S_ISCHR(st.st_mode)) return FileType::kChar;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FileType::kPipe;
  return FileType::kDisk;
}

bool File::Close() {
  const std::intptr_t h = handle_;
  handle_ = kNone;
  if (h == kNone || !owned_) return true;
  return close(static_cast<int>(h)) == 0 || Failed(errno);
}

File File::Standard(StdStream which) {
  const int fd = which == StdStream::kInput    ? STDIN_FILENO
                 : which == StdStream::kOutput ? STDOUT_FILENO
                                               : STDERR_FILENO;
  return File(fd, false);
}

File File::OpenRead(const std::string& name) {
  if (!NameFits(name)) return File();
  const int fd = open(ResolveName(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Failed(errno);
  if (fd < 0) return File();
  File file(fd, true);
  // Reading shares with readers only: a file open for writing is refused.
  if (IsDirectory(fd) || !Lock(fd, F_RDLCK)) return File();
  return file;
}

File File::OpenAppend(const std::string& name) {
  if (!NameFits(name)) return File();
  const std::string resolved = ResolveName(name);
  const int inherited = InheritedDescriptor(resolved);
  if (inherited >= 0) {
    // Written where the caller's writes go, sharing its offset: reopened,
    // the file would have an offset of its own, and the caller's next write
    // would land on this run's lines. A socket cannot be reopened at all.
    const int fd = fcntl(inherited, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) Failed(errno);
    return fd < 0 ? File() : File(fd, true);
  }
  const int fd = open(resolved.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) Failed(errno);
  if (fd < 0) return File();
  File file(fd, true);
  // Others may read the file but not write it while it is open here. A
  // pipe or a terminal (a FIFO's name) has no end to seek to.
  if (!Lock(fd, F_WRLCK) || (lseek(fd, 0, SEEK_END) < 0 && errno != ESPIPE && !Failed(errno))) {
    return File();
  }
  return file;
}

const char* ConsoleLineEnd() { return "\n"; }

std::string LastFileError() {
  return g_lastError == 0 ? std::string() : std::strerror(g_lastError);
}

bool FileExists(const std::string& name) {
  if (name.find_first_of("*?<>|") != std::string::npos) return false;
  struct stat st;
  const std::string resolved = ResolveName(name);
  return !resolved.empty() && stat(resolved.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace platform
