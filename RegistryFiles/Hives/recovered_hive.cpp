#include "RegistryFiles/Hives/recovered_hive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <utility>

#include "RegistryFiles/Hives/hive_log.h"
#include "RegistryFiles/Hives/hive_recovery.h"

namespace platform {
namespace {

using hivelog::kLogSectorSize;

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

int OpenReadOnly(const std::string& path) {
  // No access time either, where the owner allows it.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (fd < 0 && errno == EPERM) return open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd;
}

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// A log, mapped read-only as a whole; not ok when it is not a readable file.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path) {
    UniqueFd fd(OpenReadOnly(path));
    struct stat st;
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    size_ = static_cast<std::size_t>(st.st_size);
    ok_ = true;
    if (size_ == 0) return;
    void* p = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (p == MAP_FAILED) {
      ok_ = false;
      size_ = 0;
      return;
    }
    addr_ = p;
  }
  ~MappedFile() {
    if (addr_) munmap(addr_, size_);
  }
  MappedFile(MappedFile&& other) noexcept
      : addr_(std::exchange(other.addr_, nullptr)), size_(other.size_), ok_(other.ok_) {}
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  MappedFile& operator=(MappedFile&&) = delete;

  bool ok() const { return ok_; }
  std::string_view bytes() const {
    return addr_ ? std::string_view(static_cast<const char*>(addr_), size_) : std::string_view();
  }

 private:
  void* addr_ = nullptr;
  std::size_t size_ = 0;
  bool ok_ = false;
};

// The primary, read in place until the first write; then a copy in an
// in-memory file made by the kernel, so that only the pages the logs name
// pass through this process.
class FileImage : public HiveImage {
 public:
  FileImage(int primary, std::size_t size) : primary_(primary), size_(size) {}

  std::size_t size() const override { return size_; }

  std::string Read(std::size_t offset, std::size_t n) const override {
    std::string bytes(offset < size_ ? std::min(n, size_ - offset) : 0, '\0');
    const int fd = memory_.valid() ? memory_.fd() : primary_;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t k = pread(fd, &bytes[done], bytes.size() - done, offset + done);
      if (k < 0 && errno == EINTR) continue;
      if (k <= 0) break;  // the file shrank: the rest reads as zeros
      done += static_cast<std::size_t>(k);
    }
    return bytes;
  }

  void Write(std::size_t offset, const char* data, std::size_t n) override {
    Grow(offset + n);
    for (std::size_t done = 0; done < n;) {
      const ssize_t k = pwrite(memory_.fd(), data + done, n - done, offset + done);
      if (k < 0 && errno == EINTR) continue;
      if (k <= 0) Fail("hive copy");
      done += static_cast<std::size_t>(k);
    }
  }

  void Grow(std::size_t size) override {
    Copy();
    if (size <= size_) return;
    if (ftruncate(memory_.fd(), static_cast<off_t>(size)) != 0) Fail("hive copy");
    size_ = size;
  }

  // The copy, sealed: nothing can change it any more.
  MemFile Take() {
    if (fcntl(memory_.fd(), F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL))
      Fail("hive copy");
    return std::move(memory_);
  }

 private:
  void Copy() {
    if (memory_.valid()) return;
    memory_ = MemFile("hivtap-hive");
    if (ftruncate(memory_.fd(), static_cast<off_t>(size_)) != 0) Fail("hive copy");
    off_t from = 0;
    while (static_cast<std::size_t>(from) < size_) {
      const ssize_t k = sendfile(memory_.fd(), primary_, &from, size_ - from);
      if (k < 0 && errno == EINTR) continue;
      if (k < 0) Fail("hive copy");
      if (k == 0) break;  // the file shrank: the rest stays zeros
    }
  }

  int primary_;
  std::size_t size_;
  MemFile memory_;
};

}  // namespace

std::vector<std::string> ChooseHiveLogs(const std::string& name,
                                        const std::vector<std::string>& entries) {
  std::string found[3];  // LOG1, LOG2, LOG
  const char* suffixes[3] = {".LOG1", ".LOG2", ".LOG"};
  for (const std::string& e : entries) {
    for (int i = 0; i < 3; ++i) {
      // The exact spelling wins over another letter case.
      if (SameAsciiCase(e, name + suffixes[i]) && (found[i].empty() || name + suffixes[i] == e))
        found[i] = e;
    }
  }
  std::vector<std::string> logs;
  for (int i = 0; i < 2; ++i)
    if (!found[i].empty()) logs.push_back(found[i]);
  if (logs.empty() && !found[2].empty()) logs.push_back(found[2]);
  return logs;
}

std::vector<std::string> FindHiveLogs(const std::string& primary_path) {
  const std::size_t slash = primary_path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : primary_path.substr(0, slash + 1);
  const std::string name =
      slash == std::string::npos ? primary_path : primary_path.substr(slash + 1);
  Dir d(dir);
  if (!d.get()) return {};
  std::vector<std::string> entries;
  while (const dirent* e = readdir(d.get())) entries.push_back(e->d_name);
  const std::string prefix = slash == std::string::npos ? "" : dir;
  std::vector<std::string> logs;
  for (const std::string& log : ChooseHiveLogs(name, entries)) logs.push_back(prefix + log);
  return logs;
}

MemFile::MemFile(const char* name) : fd_(memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING)) {
  if (!fd_.valid()) throw std::system_error(errno, std::generic_category(), "memfd_create");
}

std::string MemFile::path() const { return "/proc/self/fd/" + std::to_string(fd_.get()); }

RecoveredHive OpenForReading(const std::string& primary_path, std::vector<std::string>* warnings,
                             std::string* replay) {
  // An unreadable primary is left to the hive reader to report.
  UniqueFd primary(OpenReadOnly(primary_path));
  struct stat st;
  if (primary.get() < 0 || fstat(primary.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return RecoveredHive(primary_path, MemFile());
  FileImage image(primary.get(), static_cast<std::size_t>(st.st_size));
  if (!HiveIsDirty(image.Read(0, kLogSectorSize))) return RecoveredHive(primary_path, MemFile());

  std::vector<MappedFile> maps;  // the views below point into their mappings
  std::vector<HiveLogFile> logs;
  for (const std::string& path : FindHiveLogs(primary_path)) {
    maps.emplace_back(path);
    if (maps.back().ok()) logs.push_back({path, maps.back().bytes()});
  }
  const HiveRecovery r = RecoverHive(primary_path, logs, &image);
  warnings->insert(warnings->end(), r.warnings.begin(), r.warnings.end());
  if (replay) *replay = r.replay;
  if (!r.changed) return RecoveredHive(primary_path, MemFile());
  MemFile memory = image.Take();
  std::string path = memory.path();
  return RecoveredHive(std::move(path), std::move(memory));
}

}  // namespace platform
