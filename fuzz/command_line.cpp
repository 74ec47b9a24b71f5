// Raw command lines: splitting them into arguments, and scanning those into
// the settings.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "RunTime/text_stream.h"
#include "fuzz/support/fuzz_support.h"
#include "hivTAP/command_line.h"

namespace {

// ArgumentAt(i) scans the line from its start by design, so this check
// fetches every argument of short lines but only a sample of long ones, to
// keep the target fast; ParseCommandLine gets every line whole.
constexpr std::size_t kFullScanArguments = 64;

void CheckSplitting(const std::string& line, std::vector<std::string>* arguments) {
  std::size_t pos = 0;
  NextArgument(line, pos);  // the program's name
  for (;;) {
    const std::size_t before = pos;
    const std::string argument = NextArgument(line, pos);
    FUZZ_CHECK(pos <= line.size(), "the scan stays within the line");
    FUZZ_CHECK(argument.find('"') == std::string::npos, "quotes are removed");
    if (argument.empty()) {
      FUZZ_CHECK(pos == line.size(), "an argument is empty only at the end");
      break;
    }
    FUZZ_CHECK(pos > before, "each argument moves the scan on");
    arguments->push_back(argument);
  }
  const int count = ArgumentCount(line);
  FUZZ_CHECK(count == static_cast<int>(arguments->size()),
             "ArgumentCount counts what NextArgument gives");
  std::vector<std::size_t> sample;
  for (std::size_t i = 1; i <= arguments->size(); ++i) {
    if (arguments->size() <= kFullScanArguments || i <= 8 || i + 8 > arguments->size() ||
        i % 97 == 0)
      sample.push_back(i);
  }
  for (const std::size_t i : sample) {
    FUZZ_CHECK(ArgumentAt(line, static_cast<int>(i)) == (*arguments)[i - 1],
               "ArgumentAt(" + std::to_string(i) + ") is the argument NextArgument gave");
  }
  FUZZ_CHECK(ArgumentAt(line, count + 1).empty(), "past the last argument comes nothing");
}

off_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A command line is a C string: it ends at its first NUL.
  std::string line(reinterpret_cast<const char*>(data), size);
  line.resize(line.find('\0') == std::string::npos ? line.size() : line.find('\0'));
  std::vector<std::string> arguments;
  CheckSplitting(line, &arguments);

  static const std::string consolePath = WriteScratchFile("console.txt", "");
  TRunSettings settings;
  bool go = false;
  {
    TTextStream console;
    console.OpenAppend(consolePath);
    go = ParseCommandLine(line, settings, console);
    console.Close();
  }
  const off_t written = FileSize(consolePath);
  FUZZ_CHECK(truncate(consolePath.c_str(), 0) == 0, "the console file can be emptied");

  bool help = arguments.empty();
  for (const std::string& a : arguments) help = help || a == "?" || a == "/?";
  FUZZ_CHECK(settings.HelpRequested == help, "help is wanted for no argument, ? or /?");
  FUZZ_CHECK(go == !help, "the run goes on unless help is wanted");
  FUZZ_CHECK((written > 0) == help, "the help screen, and only it, goes to the console");
  FUZZ_CHECK(settings.ListMode == !settings.ListFileName.empty(), "list mode has a file name");
  FUZZ_CHECK(settings.KeyArgument.empty() || settings.KeyArgument[0] != '/',
             "a switch is never the key");
  FUZZ_CHECK(settings.FailureFlag == 0, "scanning fails nothing");
  return 0;
}
