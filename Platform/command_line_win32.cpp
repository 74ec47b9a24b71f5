#include <windows.h>

#include "Platform/codepage.h"
#include "Platform/command_line.h"
#include "Platform/file.h"

namespace platform {

// Windows keeps the raw command line itself.
void InitProcess(int, char**) {}

std::string RawCommandLine() { return GetCommandLineA(); }

bool RunPlatformOptions(std::string*, std::string*) { return false; }

std::vector<std::string> HelpAddendum() { return {}; }

void NoteMissingListFile() {}

void NoteUnknownKey(const std::string&) {}

bool NoteListWithoutColon() { return false; }

void NoteFileFailure(const std::string&, const std::string&) {}

void WriteErrorLine(const std::string& ansi) {
  const std::string line = AnsiToConsole(ansi) + "\r\n";
  File::Standard(StdStream::kError).Write(line.data(), line.size());
}

void ExitProcess(int code) { ::ExitProcess(static_cast<UINT>(code)); }

}  // namespace platform
