#pragma once

#include <string>

namespace platform {

// Called first thing in main: where the platform hands the arguments
// already split, they are kept to rebuild the raw command line.
void InitProcess(int argc, char** argv);

// The process's raw command line in the ANSI code page, program name
// included, as GetCommandLineA gives it.
std::string RawCommandLine();

// Ends the process with `code`, as ExitProcess does.
[[noreturn]] void ExitProcess(int code);

}  // namespace platform
