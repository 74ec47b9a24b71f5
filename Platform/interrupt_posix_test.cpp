// An interrupt during a run: the output file holds a torn line (the stream's
// buffer was written when full), then the process raises the signal itself,
// at a known point. The file must end at its last complete line, never
// below its size at opening, and the process die of that signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "RunTime/text_stream.h"
#include "tests/temp_dir.h"

namespace {

struct Case {
  const char* what;
  int signal;
  std::string before;  // the file's bytes at opening
  std::vector<std::string> lines;
  std::string after;
};

std::string Line(char c, std::size_t n) { return std::string(n, c) + "\r\n"; }

// The death test's child: no core file for SIGQUIT.
[[noreturn]] void WriteAndRaise(const std::string& path, const Case& c) {
  const rlimit noCore = {0, 0};
  setrlimit(RLIMIT_CORE, &noCore);
  TTextStream out;
  out.OpenAppend(path);
  for (const std::string& line : c.lines) out.WriteLine(line);
  raise(c.signal);
  std::_Exit(0);
}

TEST(InterruptTest, CutsTheOutputFileBackToItsLastCompleteLine) {
  const std::vector<Case> cases = {
      // 180 bytes: the first 128 reached the file, the third line torn.
      {"SIGINT",
       SIGINT,
       "",
       {std::string(58, 'a'), std::string(58, 'b'), std::string(58, 'c')},
       Line('a', 58) + Line('b', 58)},
      {"SIGTERM after old lines",
       SIGTERM,
       Line('o', 10),
       {std::string(58, 'a'), std::string(58, 'b'), std::string(58, 'c')},
       Line('o', 10) + Line('a', 58) + Line('b', 58)},
      {"SIGHUP, no line complete: the old bytes stay, their torn end too",
       SIGHUP,
       "old",
       {std::string(200, 'a')},
       "old"},
      {"SIGQUIT", SIGQUIT, "", {std::string(100, 'a'), std::string(100, 'b')}, Line('a', 100)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.Path("out.txt");
    dir.Write("out.txt", c.before);
    EXPECT_EXIT(WriteAndRaise(path, c), testing::KilledBySignal(c.signal), "");
    EXPECT_EQ(dir.Read("out.txt"), c.after);
  }
}

// A closed file is no longer cut: its descriptor may name another file by then.
[[noreturn]] void CloseReopenAndRaise(const std::string& path, const std::string& other) {
  TTextStream out;
  out.OpenAppend(path);
  out.WriteLine(std::string(200, 'a'));
  out.Close();
  const int fd = open(other.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  const std::string bytes(300, 'b');
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != 300) std::_Exit(1);
  raise(SIGTERM);
  std::_Exit(0);
}

TEST(InterruptTest, LeavesAClosedFileAlone) {
  TempDir dir;
  EXPECT_EXIT(CloseReopenAndRaise(dir.Path("out.txt"), dir.Path("other.txt")),
              testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(dir.Read("out.txt"), Line('a', 200));
  EXPECT_EQ(dir.Read("other.txt"), std::string(300, 'b'));
}

}  // namespace
