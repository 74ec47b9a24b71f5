#pragma once

#include <string>
#include <vector>

namespace platform {

// Called first thing in main: where the platform hands the arguments
// already split, they are kept to rebuild the raw command line.
void InitProcess(int argc, char** argv);

// The process's raw command line in the ANSI code page, program name
// included, as GetCommandLineA gives it.
std::string RawCommandLine();

// Options of the platform's own, outside the tool's command line (--version
// on POSIX): true when one was given; `*output` (Windows-1252) is then what
// the run writes to standard output, and all it does. A usage error (an
// unknown --option) gives its message in `*error` instead.
bool RunPlatformOptions(std::string* output, std::string* error);

// Lines that follow the help screen when it was asked for in the
// platform's own way (--help or -h on POSIX); none otherwise.
std::vector<std::string> HelpAddendum();

// After the tool's message on a missing list file: names the file as it was
// given, on standard error (POSIX, where the message alone leaves a script's
// user guessing); nothing on Windows.
void NoteMissingListFile();

// After a key argument that names no root (PowerShell's "HKLM:\\", a path
// pasted from regedit): names it on standard error, with the roots taken
// (POSIX, where a script's user would otherwise see nothing); nothing on
// Windows.
void NoteUnknownKey(const std::string& ansiKey);

// When "/L" was given alone: says on standard error that a list file is
// "/L:FILE" and returns true (POSIX); false on Windows.
bool NoteListWithoutColon();

// After the tool's message on a failed output stage: names the file and the
// system's reason on standard error (POSIX); nothing on Windows.
void NoteFileFailure(const std::string& ansiName, const std::string& reason);

// Writes `ansi` and a line end to standard error, in the console's or the
// terminal's charset; a failed write is no failure of the run.
void WriteErrorLine(const std::string& ansi);

// Ends the process with `code`, as ExitProcess does.
[[noreturn]] void ExitProcess(int code);

}  // namespace platform
