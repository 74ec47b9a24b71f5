#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "Platform/interrupt.h"

namespace platform {
namespace {

// Read by the handler: lock-free, set before the descriptor is.
std::atomic<int> g_fd{-1};
std::atomic<std::uint64_t> g_length{0};
static_assert(std::atomic<int>::is_always_lock_free &&
                  std::atomic<std::uint64_t>::is_always_lock_free,
              "the signal handler reads these");

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Only async-signal-safe calls. SA_RESETHAND has put the default action
// back, so raising the signal again ends the process as it would have
// (status 128 + its number in a shell).
void OnInterrupt(int signal) {
  const int fd = g_fd.load();
  if (fd >= 0) {
    const std::uint64_t length = g_length.load();
    struct stat st;
    if (fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) > length &&
        ftruncate(fd, static_cast<off_t>(length)) != 0) {
      // Nothing more can be done on the way out.
    }
  }
  raise(signal);
}

void Install() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  // One cut at a time; the handler's own signal stays deliverable for the
  // raise that ends the process.
  action.sa_flags = SA_RESETHAND | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int signal : kInterrupts) sigaddset(&action.sa_mask, signal);
  for (int signal : kInterrupts) {
    struct sigaction old;
    // An interrupt ignored by whoever started the run stays ignored.
    if (sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    sigset_t others = action.sa_mask;
    sigdelset(&others, signal);
    struct sigaction mine = action;
    mine.sa_mask = others;
    sigaction(signal, &mine, nullptr);
  }
}

}  // namespace

void CutOnInterrupt(const File& file, std::uint64_t length) {
  Install();
  g_length.store(length);
  g_fd.store(static_cast<int>(file.native()));
}

void NoCutOnInterrupt() { g_fd.store(-1); }

}  // namespace platform
