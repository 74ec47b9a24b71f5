#include <gtest/gtest.h>

#include <vector>

#include "Platform/command_line.h"
#include "hivTAP/command_line.h"

namespace {

// Arguments split by the shell come back from the rebuilt command line as a
// Windows command line would give them.
std::vector<std::string> RoundTrip(std::vector<std::string> argv) {
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(&arg[0]);
  platform::InitProcess(static_cast<int>(pointers.size()), pointers.data());
  const std::string line = platform::RawCommandLine();
  std::vector<std::string> args;
  for (int i = 0; i <= ArgumentCount(line); ++i) args.push_back(ArgumentAt(line, i));
  return args;
}

using Args = std::vector<std::string>;

TEST(PosixCommandLine, ArgumentsSurviveTheRebuiltLine) {
  EXPECT_EQ(RoundTrip({"/usr/bin/hivtap", "HKCU\\Control Panel\\Desktop\\Wallpaper", "/n"}),
            Args({"/usr/bin/hivtap", "HKCU\\Control Panel\\Desktop\\Wallpaper", "/n"}));
  EXPECT_EQ(RoundTrip({"hivtap", "", "C:\\dir\\", "a\tb", "x"}),
            Args({"hivtap", "C:\\dir\\", "a\tb", "x"}));
  // Quotes are removed, as Windows would remove them.
  EXPECT_EQ(RoundTrip({"hivtap", "ab\"c d\"e", "\"\"", "\"abc"}),
            Args({"hivtap", "abc de", "abc"}));
  EXPECT_EQ(RoundTrip({"", "a"}), Args({"hivtap", "a"}));
}

}  // namespace
