// Writes a dirty hive SYSTEM and its logs into a folder, for end-to-end runs:
//   make_dirty_hive DIR new|old|none
// new: LOG1 and LOG2 in the new format; old: one old-format SYSTEM.LOG; none:
// no log. Prints the text that HKLM\SYSTEM "Version" should read.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "tests/tools/hive_fixture.h"

namespace {

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_dirty_hive DIR new|old|none\n");
    return 2;
  }
  const std::string dir = argv[1], kind = argv[2];
  const std::string h0 = hivefix::MakeHive("v0"), h1 = hivefix::MakeHive("v1");
  const std::string h2 = hivefix::MakeHive("v2", true);
  std::string primary = h0;
  hivefix::SetSequence(&primary, 5, 4);
  Write(dir + "/SYSTEM", primary);
  if (kind == "new") {
    Write(dir + "/SYSTEM.LOG1", hivefix::NewLog(h1, 6, {hivefix::LogEntry(6, h1, h2)}));
    Write(dir + "/SYSTEM.LOG2", hivefix::NewLog(h0, 5, {hivefix::LogEntry(5, h0, h1)}));
    std::puts("v2");
  } else if (kind == "old") {
    Write(dir + "/SYSTEM.LOG", hivefix::OldLog(primary, h1));
    std::puts("v1");
  } else {
    std::puts("v0");
  }
  return 0;
}
