#include <windows.h>

#include "Platform/command_line.h"

namespace platform {

// Windows keeps the raw command line itself.
void InitProcess(int, char**) {}

std::string RawCommandLine() { return GetCommandLineA(); }

bool RunPlatformOptions(std::string*, std::string*) { return false; }

std::vector<std::string> HelpAddendum() { return {}; }

void NoteMissingListFile() {}

void ExitProcess(int code) { ::ExitProcess(static_cast<UINT>(code)); }

}  // namespace platform
