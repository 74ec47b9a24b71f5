#include <windows.h>

#include "Platform/command_line.h"

namespace platform {

// Windows keeps the raw command line itself.
void InitProcess(int, char**) {}

std::string RawCommandLine() { return GetCommandLineA(); }

bool RunPlatformOptions(std::string*) { return false; }

void ExitProcess(int code) { ::ExitProcess(static_cast<UINT>(code)); }

}  // namespace platform
