#include "RegistryFiles/recovered_hive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "RegistryFiles/hive_log.h"
#include "RegistryFiles/hive_recovery.h"

namespace platform {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

class Dir {
 public:
  explicit Dir(const std::string& path) : dir_(opendir(path.c_str())) {}
  ~Dir() {
    if (dir_) closedir(dir_);
  }
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

bool SameAsciiCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// Up to `limit` bytes of the file; false when it cannot be opened or read.
bool ReadFile(const std::string& path, std::size_t limit, std::string* bytes) {
  // No access time either, where the owner allows it.
  int raw = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (raw < 0 && errno == EPERM) raw = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (raw < 0) return false;
  Fd fd(raw);
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const std::size_t want = std::min(limit, static_cast<std::size_t>(st.st_size));
  bytes->resize(want);
  std::size_t done = 0;
  while (done < want) {
    const ssize_t n = read(fd.get(), &(*bytes)[done], want - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the file shrank: keep what was read
    done += static_cast<std::size_t>(n);
  }
  bytes->resize(done);
  return true;
}

}  // namespace

std::vector<std::string> FindHiveLogs(const std::string& primary_path) {
  const std::size_t slash = primary_path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : primary_path.substr(0, slash + 1);
  const std::string name =
      slash == std::string::npos ? primary_path : primary_path.substr(slash + 1);
  std::string found[3];  // LOG1, LOG2, LOG
  const char* suffixes[3] = {".LOG1", ".LOG2", ".LOG"};
  Dir d(dir);
  if (!d.get()) return {};
  while (const dirent* e = readdir(d.get())) {
    for (int i = 0; i < 3; ++i) {
      // The exact spelling wins over another letter case.
      if (SameAsciiCase(e->d_name, name + suffixes[i]) &&
          (found[i].empty() || name + suffixes[i] == e->d_name))
        found[i] = e->d_name;
    }
  }
  const std::string prefix = slash == std::string::npos ? "" : dir;
  std::vector<std::string> logs;
  for (int i = 0; i < 2; ++i)
    if (!found[i].empty()) logs.push_back(prefix + found[i]);
  if (logs.empty() && !found[2].empty()) logs.push_back(prefix + found[2]);
  return logs;
}

MemFile::MemFile(const char* name, const std::string& bytes)
    : fd_(memfd_create(name, MFD_CLOEXEC)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "memfd_create");
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = errno;
      close(fd_);
      fd_ = -1;
      throw std::system_error(err, std::generic_category(), "memfd write");
    }
    done += static_cast<std::size_t>(n);
  }
}

MemFile::~MemFile() {
  if (fd_ >= 0) close(fd_);
}

MemFile::MemFile(MemFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

MemFile& MemFile::operator=(MemFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

std::string MemFile::path() const { return "/proc/self/fd/" + std::to_string(fd_); }

RecoveredHive OpenForReading(const std::string& primary_path, std::vector<std::string>* warnings) {
  std::string image;
  // An unreadable primary is left to the hive reader to report.
  if (!ReadFile(primary_path, kLogSectorSize, &image) || !HiveIsDirty(image))
    return RecoveredHive(primary_path, MemFile());
  if (!ReadFile(primary_path, static_cast<std::size_t>(-1), &image))
    return RecoveredHive(primary_path, MemFile());
  std::vector<HiveLogFile> logs;
  for (const std::string& path : FindHiveLogs(primary_path)) {
    HiveLogFile log{path, {}};
    if (ReadFile(path, static_cast<std::size_t>(-1), &log.bytes)) logs.push_back(std::move(log));
  }
  HiveRecovery r = RecoverHive(primary_path, logs, &image);
  warnings->insert(warnings->end(), r.warnings.begin(), r.warnings.end());
  if (!r.changed) return RecoveredHive(primary_path, MemFile());
  logs.clear();
  MemFile memory("hivtap-hive", image);
  std::string path = memory.path();
  return RecoveredHive(std::move(path), std::move(memory));
}

}  // namespace platform
