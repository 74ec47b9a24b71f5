// The Wine prefix reader on hostile shapes: headers sharing text, deep
// nesting, a link on a root, big files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "RegistryFiles/Wine/wine_prefix_store.h"
#include "RegistryFiles/Wine/wine_prefix_test_util.h"

namespace platform {
namespace {

using namespace testing_util;

// Lines between headers are passed over in bulk, and header text a word at
// a time: whatever sits in them must still count wherever it stands.
TEST(WineRegistryTest, LinesThatMatterAreSeenWherever) {
  const std::string pad = "\"a\"=\"C:\\\\dir\"\n@=dword:00000001\n";
  const struct {
    std::string body;
    const char* key;  // beneath Machine
    const char* name;
    std::string value;
  } cases[] = {
      // A continuation line that opens with '[' is no header.
      {"[K] 1\n" + pad + "\"h\"=hex:01,\\\n  [NotAKey] 1\n\"b\"=\"x\"\n", "NotAKey", "b",
       "<missing>"},
      {"[K] 1\n" + pad + "\"h\"=hex:01,\\\n  [NotAKey] 1\n\"b\"=\"x\"\n", "K", "b",
       std::string("x\0", 2)},
      // A #link after quiet lines still makes a link.
      {"[T] 1\n\"v\"=\"t\"\n[L] 1\n" + pad +
           "#link\n\"SymbolicLinkValue\"=hex(6):" + Utf16Hex("\\Registry\\Machine\\T") + "\n",
       "L", "v", std::string("t\0", 2)},
  };
  for (const auto& c : cases) {
    TempPrefix prefix;
    prefix.Write("system.reg", SystemReg(c.body));
    WinePrefixStore store(prefix.dir());
    EXPECT_EQ(Query(store, kMachine + "\\" + c.key, c.name), c.value) << c.body;
  }
  // An escape, a raw non-ASCII byte or a control byte at any offset of a
  // long name makes the header an escaped one.
  for (std::size_t at = 0; at < 17; ++at) {
    for (const char* special : {"\\x41", "\xc3\x81", "\t", "\x7f"}) {
      const std::string name = std::string(at, 'n') + special + std::string(17 - at, 'm');
      TempPrefix prefix;
      prefix.Write("system.reg", SystemReg("[Key\\\\" + name + "] 1\n\"v\"=\"1\"\n"));
      WinePrefixStore store(prefix.dir());
      const std::string ansi = special[0] == '\\' ? "A" : special[0] == '\xc3' ? "\xc1" : special;
      const std::string key =
          kMachine + "\\Key\\" + std::string(at, 'n') + ansi + std::string(17 - at, 'm');
      EXPECT_EQ(Query(store, key, "v"), std::string("1\0", 2)) << at << " " << special;
    }
  }
}

// Each header names its own keys, however much of its text the header
// before it shared: plain and escaped spellings, cut mid-name or not.
TEST(WineRegistryTest, HeadersSharingTextOpenTheirOwnKeys) {
  TempPrefix prefix;
  prefix.Write("system.reg", SystemReg("[A\\\\B] 1\n\"v\"=\"ab\"\n"
                                       "[AX\\\\C] 1\n\"v\"=\"axc\"\n"
                                       "[AX] 1\n\"v\"=\"ax\"\n"
                                       "[A\\\\B\\\\D] 1\n\"v\"=\"abd\"\n"
                                       "[A\\\\B\\x44\\\\E] 1\n\"v\"=\"abde\"\n"
                                       "[A\\\\B\\x44] 1\n\"v\"=\"abd2\"\n"
                                       "[A\\\\B\\x45] 1\n\"v\"=\"abe\"\n"
                                       "[a\\\\b\\\\d] 1\n\"w\"=\"second\"\n"));
  WinePrefixStore store(prefix.dir());
  const struct {
    const char* key;
    const char* name;
    std::string value;
  } cases[] = {
      {"A\\B", "v", std::string("ab\0", 3)},
      {"AX\\C", "v", std::string("axc\0", 4)},
      {"A\\C", "v", "<missing>"},
      {"AX", "v", std::string("ax\0", 3)},
      {"A\\B\\D", "v", std::string("abd\0", 4)},
      {"A\\BD\\E", "v", std::string("abde\0", 5)},
      {"A\\BD", "v", std::string("abd2\0", 5)},
      {"A\\BE", "v", std::string("abe\0", 4)},
      {"A\\B\\D", "w", std::string("second\0", 7)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Query(store, kMachine + "\\" + c.key, c.name), c.value) << c.key << " " << c.name;
  EXPECT_EQ(Open(store, kMachine, "a\\bd\\e"), kMachine + "\\A\\BD\\E");
}

// Keys nested past Windows' 512 levels read as missing, also through a
// link; nothing is spelled recursively, so no depth overflows the stack.
TEST(WineRegistryTest, DeepKeysEndAtWindowsDepth) {
  auto chain = [](int n, const std::string& sep) {
    std::string s = "D";
    for (int i = 1; i < n; ++i) s += sep + "D";
    return s;
  };
  auto link = [](const std::string& key, const std::string& target) {
    return "[" + key + "] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" + Utf16Hex(target) + "\n";
  };
  TempPrefix prefix;
  // Machine is level 1, so 511 names fit beneath it.
  prefix.Write("system.reg", SystemReg("[" + chain(100000, "\\\\") + "] 1\n\"v\"=\"deep\"\n[" +
                                       chain(511, "\\\\") + "] 1\n\"v\"=\"last\"\n" +
                                       link("L", kMachine + "\\" + chain(100000, "\\")) +
                                       link("M", kMachine + "\\" + chain(511, "\\"))));
  WinePrefixStore store(prefix.dir());
  const struct {
    std::string key;
    std::string value;
  } cases[] = {
      {kMachine + "\\" + chain(511, "\\"), std::string("last\0", 5)},
      {kMachine + "\\M", std::string("last\0", 5)},
      {kMachine + "\\" + chain(512, "\\"), "<missing>"},
      {kMachine + "\\" + chain(100000, "\\"), "<missing>"},
      {kMachine + "\\L", "<missing>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Query(store, c.key, "v"), c.value) << c.key.size();
  EXPECT_EQ(Open(store, kMachine, chain(511, "\\")), kMachine + "\\" + chain(511, "\\"));
  EXPECT_EQ(Open(store, kMachine, "M"), kMachine + "\\" + chain(511, "\\"));
  EXPECT_EQ(Open(store, kMachine, chain(512, "\\")), "<missing>");
  EXPECT_EQ(Open(store, kMachine, "L"), "<missing>");
}

// A link on the Machine root itself: every path resolves the same whether
// system.reg was read before it or only by it.
TEST(WineRegistryTest, RootLinkDoesNotDependOnLoadOrder) {
  TempPrefix prefix;
  prefix.Write("system.reg", SystemReg("[] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" +
                                       Utf16Hex("\\Registry\\User\\.Default") +
                                       "\n[Env] 1\n\"d\"=\"machine\"\n"));
  prefix.Write("userdef.reg", "WINE REGISTRY Version 2\n\n[Env] 1\n\"d\"=\"def\"\n");
  const std::string viaLink = "\\Registry\\User\\.Default\\Env";
  for (bool loadFirst : {false, true}) {
    WinePrefixStore store(prefix.dir());
    std::string hklm;
    ASSERT_TRUE(store.RootPath(0x80000002, &hklm));
    if (loadFirst) Query(store, "\\Registry\\Machine\\Env", "d");
    EXPECT_EQ(Open(store, hklm, "Env"), viaLink) << loadFirst;
    EXPECT_EQ(Query(store, hklm + "\\Env", "d"), std::string("def\0", 4)) << loadFirst;
  }
}

// A file is never resident whole: peak memory grows by the index, not by the
// file (a 1.1M-key system.reg once peaked at 2.5 times its size).
TEST(WineRegistryTest, BigFilesAreNotHeldInMemory) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's own heap keeps freed blocks: no figure to judge.
  GTEST_SKIP() << "peak memory is not measured under AddressSanitizer";
#endif
  TempPrefix prefix;
  std::string body;
  const int keys = 150000;
  for (int i = 0; i < keys; ++i) {
    body += "[Software\\\\Big\\\\Group" + std::to_string(i / 100) + "\\\\Key" + std::to_string(i) +
            "] 1700000000\n#time=1d9a0b0c0d0e0f0\n\"Name\"=\"" + std::string(200, 'x') +
            "\"\n\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a\n";
  }
  prefix.Write("system.reg", SystemReg(body));
  const double fileMb = body.size() / 1048576.0;
  body = std::string();
  auto statusMb = [](const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field)) / 1024;
    }
    return 0.0;
  };
  std::ofstream("/proc/self/clear_refs") << "5";  // restarts the peak from here
  const double before = statusMb("VmRSS:");
  WinePrefixStore store(prefix.dir());
  EXPECT_EQ(Query(store, kMachine + "\\Software\\Big\\Group1499\\Key149999", "Data"),
            std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a", 11));
  const double grown = statusMb("VmHWM:") - before;
  EXPECT_LT(grown, fileMb * 0.6) << "file " << fileMb << " MB";
}

}  // namespace
}  // namespace platform
