#include "RegistryFiles/Hives/hive_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "Platform/charset_posix.h"
#include "Platform/command_line.h"
#include "RegistryFiles/Hives/hive_mend.h"
#include "RegistryFiles/Hives/recovered_hive.h"
#include "RegistryFiles/unique_fd.h"

namespace platform {
namespace {

std::uint32_t Le32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool ReadAll(int fd, std::string* out) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out->resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < out->size()) {
    const ssize_t n = pread(fd, &(*out)[done], out->size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  out->resize(done);
  return true;
}

void PutLe32(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

// hivex opens by name only; an open descriptor has one under /proc.
hive_h* OpenByFd(int fd, int flags) {
  const std::string byName = "/proc/self/fd/" + std::to_string(fd);
  return hivex_open(byName.c_str(), flags);
}

std::unique_ptr<HiveFile> OpenFd(UniqueFd& fd, const std::string& name, int flags) {
  hive_h* hive = OpenByFd(fd.get(), flags);
  if (!hive) return nullptr;
  auto file = std::make_unique<HiveFile>(hive, fd.release(), name);
  // Lookups read the mapped image.
  return file->image() ? std::move(file) : nullptr;
}

}  // namespace

std::uint32_t BaseBlockChecksum(const unsigned char* block) {
  std::uint32_t sum = 0;
  for (int i = 0; i < 508; i += 4) sum ^= Le32(block + i);
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  if (sum == 0) return 1;
  return sum;
}

BaseBlockState InspectBaseBlock(const unsigned char* block, std::size_t size) {
  BaseBlockState state;
  if (size < kBaseBlockSize) return state;
  state.signature = std::memcmp(block, "regf", 4) == 0;
  state.checksumOk = BaseBlockChecksum(block) == Le32(block + 508);
  state.sequencesEqual = Le32(block + 4) == Le32(block + 8);
  return state;
}

int NewMemoryFile(const char* label) {
  return memfd_create(label, MFD_CLOEXEC | MFD_ALLOW_SEALING);
}

bool AppendToFile(int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool SealMemoryFile(int fd) {
  return fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) == 0;
}

int MemoryFile(const char* label, const std::string& bytes) {
  UniqueFd fd(NewMemoryFile(label));
  if (fd.get() < 0 || !AppendToFile(fd.get(), bytes.data(), bytes.size()) ||
      !SealMemoryFile(fd.get()))
    return -1;
  return fd.release();
}

HiveFile::HiveFile(hive_h* hive, int fd, std::string name)
    : watch_(name), hive_(hive), name_(std::move(name)) {
  watch_.GuardMappingsOf(fd);  // hivex's own
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size > 0) {
    void* map = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (map != MAP_FAILED) {
      bytes_ = static_cast<const unsigned char*>(map);
      size_ = static_cast<std::size_t>(st.st_size);
      watch_.Guard(bytes_, size_, fd);
    }
  }
  // The mapping keeps the bytes, a memory file's included.
  close(fd);
}

HiveFile::~HiveFile() {
  hivex_close(hive_);
  if (bytes_) munmap(const_cast<unsigned char*>(bytes_), size_);
}

std::uint16_t HiveFile::KeyFlags(hive_node_h node) const {
  // Node handles are file offsets of the cell: size, "nk", flags.
  if (node > size_ || size_ - node < 8 || std::memcmp(bytes_ + node + 4, "nk", 2) != 0) return 0;
  return static_cast<std::uint16_t>(bytes_[node + 6] | bytes_[node + 7] << 8);
}

namespace {

// `fd` holds the hive as Windows would load it; `warnings` come from its
// log replay.
std::unique_ptr<HiveFile> OpenLoaded(const std::string& path, UniqueFd& fd,
                                     const std::vector<std::string>& warnings,
                                     const std::string& replay = std::string()) {
  unsigned char block[kBaseBlockSize];
  const ssize_t got = pread(fd.get(), block, sizeof block, 0);
  const BaseBlockState state = InspectBaseBlock(block, got < 0 ? 0 : static_cast<std::size_t>(got));
  // A base block without its signature is damage, not a dirty hive: the
  // damage warning below says so once.
  if (state.signature) {
    for (const std::string& warning : warnings) WriteErrorLine(warning);
  }
  if (state.checksumOk) {
    if (auto hive = OpenFd(fd, path, 0)) {
      hive->SetReplay(replay);
      return hive;
    }
  }
  // hivex refuses a wrong checksum, bins it cannot follow and cells whose
  // size lies: hand it a mended copy, and let it skip what it cannot read.
  std::string bytes;
  std::unique_ptr<HiveFile> hive;
  if (ReadAll(fd.get(), &bytes) && MendHive(bytes)) {
    PutLe32(bytes, 508, BaseBlockChecksum(reinterpret_cast<const unsigned char*>(bytes.data())));
    UniqueFd image(MemoryFile("hivtap-hive", bytes));
    if (image.get() >= 0) hive = OpenFd(image, path, HIVEX_OPEN_UNSAFE);
  }
  if (!hive) {
    // "ruche illisible"
    WriteErrorLine("hivTAP: ruche illisible : " + Utf8ToAnsi(path));
  } else if (state.checksumOk || !state.signature) {
    // "ruche endommagée, lue en partie"
    WriteErrorLine(
        "hivTAP: ruche endommag\xE9"
        "e, lue en partie : " +
        Utf8ToAnsi(path));
  }
  if (hive) hive->SetReplay(replay);
  return hive;
}

std::unique_ptr<HiveFile> OpenHiveAsItIs(const std::string& path) {
  // A dirty hive is read as Windows would load it: its logs replayed in
  // memory. What stays dirty is read as it is, with the replay's warning.
  std::vector<std::string> warnings;
  std::string replay;
  const RecoveredHive recovered = OpenForReading(path, &warnings, &replay);
  UniqueFd fd(open(recovered.path().c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    // Found when the layout was made, gone or closed to us since: no silent
    // loss.
    WriteErrorLine("hivTAP: ruche illisible : " + Utf8ToAnsi(path));
    return nullptr;
  }
  return OpenLoaded(path, fd, warnings, replay);
}

}  // namespace

std::unique_ptr<HiveFile> OpenHive(const std::string& path) {
  // hivex_open reads the whole file through a mapping not yet guarded.
  MappingWatch opening(path);
  std::unique_ptr<HiveFile> hive;
  {
    MappingScope scope(opening);
    hive = OpenHiveAsItIs(path);
  }
  if (opening.changed()) {
    if (hive) {
      hive->watch().Mark();  // reported with the lookup
    } else {
      opening.Report();
    }
  }
  return hive;
}

std::unique_ptr<HiveFile> OpenHiveBytes(const std::string& name, std::string bytes,
                                        const std::vector<HiveLogFile>& logs) {
  const HiveRecovery recovery = RecoverHive(name, logs, &bytes);
  UniqueFd fd(MemoryFile("hivtap-hive", bytes));
  if (fd.get() < 0) return nullptr;
  return OpenLoaded(name, fd, recovery.warnings, recovery.dirty ? recovery.replay : "");
}

std::unique_ptr<HiveFile> OpenHiveMemory(const std::string& name, UniqueFd& fd) {
  return OpenLoaded(name, fd, {});
}

std::unique_ptr<HiveFile> OpenHiveImage(const std::string& name, const std::string& bytes) {
  UniqueFd fd(MemoryFile("hivtap-hive", bytes));
  if (fd.get() < 0) return nullptr;
  return OpenFd(fd, name, 0);
}

}  // namespace platform
