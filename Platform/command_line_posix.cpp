// The shell hands the arguments already split. The raw command line is
// rebuilt so that splitting it again gives each argument as it would come
// out of a Windows command line: quotes removed, empty ones skipped.
#include <signal.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "Platform/charset_posix.h"
#include "Platform/command_line.h"

namespace platform {
namespace {

std::vector<std::string>& Arguments() {
  static std::vector<std::string> args;
  return args;
}

bool HasSeparator(const std::string& s) {
  for (const char c : s) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b >= 0x01 && b <= 0x20) return true;
  }
  return false;
}

}  // namespace

void InitProcess(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  // A closed pipe or a file-size limit must fail the write, not kill the
  // process: the output file is then cut back to its last complete line.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  Arguments().assign(argv, argv + argc);
}

std::string RawCommandLine() {
  std::string line;
  bool first = true;
  for (const std::string& raw : Arguments()) {
    std::string arg;
    for (const char c : Utf8ToAnsi(raw)) {
      if (c != '"') arg += c;
    }
    if (arg.empty()) {
      if (!first) continue;
      arg = "hivtap";  // the program's name is never empty
    }
    if (!first) line += ' ';
    line += first || HasSeparator(arg) ? "\"" + arg + "\"" : arg;
    first = false;
  }
  return line;
}

void ExitProcess(int code) { std::exit(code); }

}  // namespace platform
