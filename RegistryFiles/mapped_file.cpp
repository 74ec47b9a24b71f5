#include "RegistryFiles/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RegistryFiles/unique_fd.h"

namespace platform {
MappedFile::~MappedFile() {
  if (mapped_) ::munmap(const_cast<char*>(data_), size_);
}

bool MappedFile::Open(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_size == 0) return true;  // nothing to map
  void* p =
      ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
  if (p == MAP_FAILED) return false;
  data_ = static_cast<const char*>(p);
  size_ = static_cast<std::size_t>(st.st_size);
  mapped_ = true;
  watch_.SetName(path);
  watch_.Guard(data_, size_, fd.get());
  return true;
}

void MappedFile::Release(std::size_t offset) const {
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const std::size_t len = offset / page * page;
  if (mapped_ && len > 0) ::madvise(const_cast<char*>(data_), len, MADV_DONTNEED);
}

}  // namespace platform
