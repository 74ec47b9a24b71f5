#include "RegistryFiles/mapping_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

#include "Platform/charset_posix.h"
#include "Platform/command_line.h"

namespace platform {
namespace {

// The handler reads these without locks; a slot is free while begin is 0.
struct Slot {
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<MappingWatch*> watch{nullptr};
};
// Two per hive file (hivex's mapping and ours): a drive with many profiles.
constexpr std::size_t kSlots = 256;
Slot g_slots[kSlots];
std::atomic<MappingWatch*> g_scope{nullptr};
std::atomic<std::uint64_t> g_faults{0};
std::uintptr_t g_pageSize = 4096;
struct sigaction g_previous;

static_assert(std::atomic<std::uintptr_t>::is_always_lock_free &&
                  std::atomic<MappingWatch*>::is_always_lock_free &&
                  std::atomic<std::uint64_t>::is_always_lock_free,
              "the handler reads these atomics");

// The watch of the mapping holding `addr`, and where that mapping begins
// and ends; a scope's fault is taken a page at a time (begin 0).
MappingWatch* WatchOf(std::uintptr_t addr, std::uintptr_t* begin, std::uintptr_t* end) {
  for (Slot& s : g_slots) {
    *begin = s.begin.load(std::memory_order_acquire);
    if (*begin == 0 || addr < *begin) continue;
    *end = s.end.load(std::memory_order_relaxed);
    if (addr < *end) return s.watch.load(std::memory_order_relaxed);
  }
  *begin = 0;
  *end = (addr & ~(g_pageSize - 1)) + g_pageSize;
  return g_scope.load(std::memory_order_relaxed);
}

// From the file's new end on, the mapping reads as zeros: the file reads as
// cut there, whatever is written behind the cut since, and no later read
// faults again.
void OnMappedFault(std::uintptr_t begin, std::uintptr_t page, std::uintptr_t end,
                   MappingWatch* watch) {
  struct stat st;
  if (begin != 0 && fstat(watch->fd(), &st) == 0) {
    const std::uintptr_t cut =
        begin + ((static_cast<std::uintptr_t>(st.st_size) + g_pageSize - 1) & ~(g_pageSize - 1));
    if (cut < page) page = cut;
  }
  if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) {
    sigaction(SIGBUS, &g_previous, nullptr);
    return;
  }
  watch->Mark();
  g_faults.fetch_add(1, std::memory_order_relaxed);
}

// Only async-signal-safe work: a table lookup, mmap (a bare system call on
// Linux) and sigaction.
void OnBusError(int, siginfo_t* info, void*) {
  const int savedErrno = errno;
  const auto addr = reinterpret_cast<std::uintptr_t>(info->si_addr);
  std::uintptr_t begin = 0, end = 0;
  MappingWatch* watch = info->si_code == BUS_ADRERR ? WatchOf(addr, &begin, &end) : nullptr;
  if (watch) {
    // A guarded range's end is a page boundary only when its size is.
    end = (end + g_pageSize - 1) & ~(g_pageSize - 1);
    OnMappedFault(begin, addr & ~(g_pageSize - 1), end, watch);
  } else {
    // Not ours: the fault repeats on return, under the previous action.
    sigaction(SIGBUS, &g_previous, nullptr);
  }
  errno = savedErrno;
}

void InstallHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action = {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_previous);
  });
}

bool Guarded(std::uintptr_t begin) {
  for (Slot& s : g_slots) {
    if (s.begin.load(std::memory_order_relaxed) == begin) return true;
  }
  return false;
}

}  // namespace

MappingWatch::~MappingWatch() {
  for (Slot& s : g_slots) {
    if (s.watch.load(std::memory_order_relaxed) == this) {
      s.begin.store(0, std::memory_order_release);
      s.watch.store(nullptr, std::memory_order_relaxed);
    }
  }
  if (fd_ >= 0) close(fd_);
}

void MappingWatch::Guard(const void* data, std::size_t size, int fd) {
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  if (begin == 0 || size == 0) return;
  if (fd_ < 0) fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  InstallHandler();
  for (Slot& s : g_slots) {
    if (s.begin.load(std::memory_order_relaxed) != 0) continue;
    s.watch.store(this, std::memory_order_relaxed);
    s.end.store(begin + size, std::memory_order_relaxed);
    s.begin.store(begin, std::memory_order_release);
    return;
  }
  // A full table leaves the mapping as it was: a bus error still ends the run.
}

void MappingWatch::GuardMappingsOf(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return;
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    unsigned long long begin = 0, end = 0, offset = 0, inode = 0;
    unsigned major = 0, minor = 0;
    char perms[8];
    if (std::sscanf(line.c_str(), "%llx-%llx %7s %llx %x:%x %llu", &begin, &end, perms, &offset,
                    &major, &minor, &inode) != 7)
      continue;
    if (inode != st.st_ino || makedev(major, minor) != st.st_dev || offset != 0 || Guarded(begin))
      continue;
    Guard(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(begin)), end - begin, fd);
  }
}

bool MappingWatch::Report() {
  if (!changed()) return false;
  if (!reported_) {
    reported_ = true;
    // "hivTAP: fichier modifié pendant la lecture : FILE"
    WriteErrorLine("hivTAP: fichier modifi\xE9 pendant la lecture : " + Utf8ToAnsi(name_));
  }
  return true;
}

MappingScope::MappingScope(MappingWatch& watch) {
  InstallHandler();
  previous_ = g_scope.exchange(&watch);
}

MappingScope::~MappingScope() { g_scope.store(previous_); }

std::uint64_t MappingFaults() { return g_faults.load(std::memory_order_relaxed); }

void ReportChangedMappings() {
  for (Slot& s : g_slots) {
    if (s.begin.load(std::memory_order_acquire) == 0) continue;
    if (MappingWatch* watch = s.watch.load(std::memory_order_relaxed)) watch->Report();
  }
}

}  // namespace platform
