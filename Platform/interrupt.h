// Interrupts that end a run: Ctrl-C and Ctrl-Break on Windows, SIGINT,
// SIGTERM, SIGHUP and SIGQUIT elsewhere. Before the process ends as the
// interrupt would have ended it, the output file is cut back to the end of
// its last complete line, so that the next appending run starts on a line
// of its own.
#pragma once

#include <cstdint>

#include "Platform/file.h"

namespace platform {

// From now on an interrupt cuts `file` to `length` bytes when it is longer;
// called again as complete lines reach it. The first call installs the
// handlers, for the interrupts not ignored when the process started.
void CutOnInterrupt(const File& file, std::uint64_t length);
// Nothing is cut any more: called before the file is closed.
void NoCutOnInterrupt();

}  // namespace platform
