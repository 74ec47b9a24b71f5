#pragma once

#include <string>

namespace platform {

// Called first thing in main: where the platform hands the arguments
// already split, they are kept to rebuild the raw command line.
void InitProcess(int argc, char** argv);

// The process's raw command line in the ANSI code page, program name
// included, as GetCommandLineA gives it.
std::string RawCommandLine();

// Options of the platform's own, outside the tool's command line (--version
// on POSIX): true when one was given; `*output` (Windows-1252) is then what
// the run writes to standard output, and all it does.
bool RunPlatformOptions(std::string* output);

// Ends the process with `code`, as ExitProcess does.
[[noreturn]] void ExitProcess(int code);

}  // namespace platform
