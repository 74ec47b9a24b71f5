#include <windows.h>

#include <atomic>

#include "Platform/interrupt.h"

namespace platform {
namespace {

// Read by the handler's thread: lock-free, set before the handle is.
std::atomic<std::intptr_t> g_handle{-1};
std::atomic<std::uint64_t> g_length{0};
HANDLE g_mainThread = nullptr;
static_assert(std::atomic<std::intptr_t>::is_always_lock_free &&
                  std::atomic<std::uint64_t>::is_always_lock_free,
              "the control handler reads these");

// What the default handler ends the process with on Ctrl-C.
constexpr UINT kControlCExit = 0xC000013A;  // STATUS_CONTROL_C_EXIT

// Runs on a thread of its own while the main one goes on writing: that one
// is stopped first, so that no write lands after the cut.
BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (g_mainThread && SuspendThread(g_mainThread) != static_cast<DWORD>(-1)) {
    // Returns once the suspension has taken effect.
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    GetThreadContext(g_mainThread, &context);
  }
  const auto handle = reinterpret_cast<HANDLE>(g_handle.load());
  if (handle != INVALID_HANDLE_VALUE) {
    LARGE_INTEGER size, length;
    length.QuadPart = static_cast<LONGLONG>(g_length.load());
    if (GetFileSizeEx(handle, &size) && size.QuadPart > length.QuadPart &&
        SetFilePointerEx(handle, length, nullptr, FILE_BEGIN)) {
      SetEndOfFile(handle);
    }
  }
  // Not ExitProcess: the suspended thread may hold locks that the exit's
  // library notifications would wait for.
  TerminateProcess(GetCurrentProcess(), kControlCExit);
  return TRUE;
}

void Install() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_mainThread,
                  THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0);
  SetConsoleCtrlHandler(OnControl, TRUE);
}

}  // namespace

void CutOnInterrupt(const File& file, std::uint64_t length) {
  Install();
  g_length.store(length);
  g_handle.store(file.native());
}

void NoCutOnInterrupt() { g_handle.store(-1); }

}  // namespace platform
