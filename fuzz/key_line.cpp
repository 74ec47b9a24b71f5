// Key lines, as a list file or the command line gives them, over an in-memory
// registry holding a value of each type under every root.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/fuzz_support.h"
#include "hivTAP/key_line.h"
#include "tests/memory_store.h"

namespace {

void Seed() {
  MemoryStore& store = InstallMemoryStore();
  const std::string big(300, '\xAB');
  for (std::uint32_t root = 0x80000000; root <= 0x80000006; ++root) {
    const std::string key = MemoryRootPath(root) + "\\Software\\Fuzz";
    store.Set(key, "", 1, std::string("default\0", 8));
    store.Set(key, "sz", 1, std::string("text\xE9\0", 6));
    store.Set(key, "expand", 2, std::string("%TEMP%\\x\0", 9));
    store.Set(key, "bin", 3, std::string("\x00\x01\xFE\xFF", 4));
    store.Set(key, "big", 3, big);
    store.Set(key, "dw", 4, std::string("\xFF\xFF\xFF\xFF", 4));
    store.Set(key, "qw", 11, std::string("\x01\x02\x03\x04\x05\x06\x07\x80", 8));
    store.Set(key, "multi", 7, std::string("a\0b\0\0", 5));
    store.Set(key, "none", 0, "");
    store.Set(key, "odd", 0x1234, "x");
    store.Set(key + "\\Sub Key\\Deeper", "v 1", 1, std::string("deep\0", 5));
  }
}

// The text before the first backslash, leading blanks and controls skipped.
std::string RootName(const std::string& spec) {
  std::size_t begin = 0;
  while (begin < spec.size() && static_cast<unsigned char>(spec[begin]) <= 0x20) ++begin;
  return spec.substr(begin, spec.find('\\', begin) - begin);
}

void CheckSplit(const std::string& spec) {
  std::uint32_t root = 7;
  std::string subKeyPath = "x";
  std::string valueName = "x";
  if (SplitKeySpec(spec, root, subKeyPath, valueName)) {
    FUZZ_CHECK(root != 0, "a key line that splits has a root");
    FUZZ_CHECK(LookupRootKey(RootName(spec)) == root, "the root is the one the line names");
    FUZZ_CHECK(!valueName.empty(), "a key line that splits names a value");
    FUZZ_CHECK(valueName.find('\\') == std::string::npos, "the value name is the last segment");
    FUZZ_CHECK(subKeyPath.empty() || subKeyPath.back() == '\\',
               "each subkey segment keeps its backslash");
  } else {
    FUZZ_CHECK(root == 0 && subKeyPath.empty() && valueName.empty(),
               "a line that does not split gives nothing");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool seeded = (Seed(), true);
  static_cast<void>(seeded);
  if (size == 0) return 0;
  TRunSettings settings;
  settings.ListMode = (data[0] & 1) != 0;
  settings.ShowValueName = (data[0] & 2) != 0;
  const std::string keyLine(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::size_t equals = keyLine.find('=');
  const std::string spec = equals == std::string::npos ? keyLine : keyLine.substr(equals + 1);
  CheckSplit(keyLine);
  CheckSplit(spec);

  std::string first;
  const bool written = ComposeResultLine(keyLine, settings, first);
  FUZZ_CHECK(written == (settings.ListMode || !first.empty()),
             "a line is written in list mode, or when there is a result");
  std::string second;
  FUZZ_CHECK(ComposeResultLine(keyLine, settings, second) == written && second == first,
             "a key read twice gives the same line");

  std::uint32_t root = 0;
  std::string subKeyPath;
  std::string valueName;
  if (!SplitKeySpec(spec, root, subKeyPath, valueName)) {
    FUZZ_CHECK(first == (settings.ListMode ? keyLine : std::string()),
               "a line naming no value is copied in list mode, dropped otherwise");
  } else if (settings.ShowValueName) {
    const std::string prefix = equals != std::string::npos && equals > 0
                                   ? keyLine.substr(0, equals) + "= "
                                   : valueName + "=";
    FUZZ_CHECK(first.compare(0, prefix.size(), prefix) == 0, "/N puts the label or name first");
  }
  return 0;
}
