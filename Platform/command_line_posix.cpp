// The shell hands the arguments already split. The raw command line is
// rebuilt so that splitting it again gives each argument as it would come
// out of a Windows command line: quotes removed, empty ones skipped.
#include <signal.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "Platform/charset_posix.h"
#include "Platform/command_line.h"
#include "RegistryFiles/registry_source.h"

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

// /N, /S, /? and /L:..., in any letter case, as the tool recognises them.
bool IsToolOption(const std::string& arg) {
  std::string upper = arg;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper == "/N" || upper == "/S" || upper == "/?" || upper.compare(0, 3, "/L:") == 0;
}

// An absolute path that the tool would take for an unknown option. "/X" and
// glued options such as "/n/s" stay options: their directory part is the
// root or does not exist.
bool IsAbsoluteFileName(const std::string& arg) {
  if (arg.empty() || arg[0] != '/' || IsToolOption(arg)) return false;
  const std::size_t slash = arg.rfind('/');
  struct stat st;
  return slash > 0 && stat(arg.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
    std::string unquoted;
    for (const char c : raw) {
      if (c != '"') unquoted += c;
    }
    std::string arg = Utf8ToAnsi(unquoted);
    if (!first && (unquoted == "--help" || unquoted == "-h")) {
      arg = "/?";
    } else if (!first && IsAbsoluteFileName(unquoted)) {
      // Its Windows spelling is a positional argument; the file layer maps
      // the backslashes back.
      for (char& c : arg) {
        if (c == '/') c = '\\';
      }
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

bool RunPlatformOptions(std::string* output) {
  const std::vector<std::string>& args = Arguments();
  bool version = false;
  for (std::size_t i = 1; i < args.size(); ++i) version = version || args[i] == "--version";
  if (!version) return false;
  *output = "hivtap " HIVTAP_VERSION "\n" + DescribeRegistrySource(LocateRegistrySource());
  return true;
}

void ExitProcess(int code) { std::exit(code); }

}  // namespace platform
