#include "RegistryFiles/Wine/wine_prefix_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "RegistryFiles/Wine/wine_prefix_test_util.h"

namespace platform {
namespace {

using namespace testing_util;

TEST(WineRegistryTest, DecodesEveryDataSyntax) {
  TempPrefix prefix;
  prefix.Write(
      "system.reg",
      SystemReg("[S] 1\n"
                "#time=1d9\n"
                "\"plain\"=\"hi\"\n"
                "\"esc\"=\"\\\\\\\"\\a\\b\\e\\f\\n\\r\\t\\v\\x41\\x4142z\\x|\\101\\0\\7777\\q\"\n"
                "\"utf8\"=\"\xc3\xa9\xe2\x82\xac\xc3(\xff\"\n"
                "\"str\"=str:\"s\"\n"
                "\"exp\"=str(2):\"%P%\"\n"
                "\"multi\"=str(7):\"a\\0b\\0\"\n"
                "\"dw\"=dword:0000002a\n"
                "\"dwneg\"=dword:-1\n"
                "\"dwjunk\"=dword:zz\n"
                "\"bin\"=hex:01,02,FF\n"
                "\"binsp\"=hex:01 2  ,03\n"
                "\"typed\"=hex( 0xb):01,02\n"
                "\"empty\"=hex(1):\n"
                "\"cont\"=hex:01,02,\\\n  03,\\ ignored\n  04\n"
                "\"oddsz\"=hex(1):61,00,62\n"
                "  \"spaced\"  =  \"sp\" trailing junk\r\n"
                "@=\"default\"\n"
                "\"dup\"=\"first\"\n"
                "\"DUP\"=\"second\"\n"
                "[S] 2\n"
                "\"later\"=\"section two\"\n"));
  WinePrefixStore store(prefix.dir());
  const std::string s = kMachine + "\\S";
  struct Case {
    const char* name;
    std::uint32_t type;
    std::string data;
  } cases[] = {
      {"plain", 1, std::string("hi\0", 3)},
      // \x takes up to 4 digits, a lone \x is 'x', octal up to 3 digits,
      // unknown escapes stand for themselves; U+4142 and U+01FF have no
      // cp1252 form.
      {"esc", 1, std::string("\\\"\a\b\x1b\f\n\r\t\vA?zx|A\0?7q\0", 21)},
      // Invalid UTF-8 bytes vanish.
      {"utf8", 1, std::string("\xe9\x80(\0", 4)},
      {"str", 1, std::string("s\0", 2)},
      {"exp", 2, std::string("%P%\0", 4)},
      {"multi", 7, std::string("a\0b\0\0", 5)},
      {"dw", 4, std::string("\x2a\0\0\0", 4)},
      {"dwneg", 4, "\xff\xff\xff\xff"},
      {"dwjunk", 4, std::string("\0\0\0\0", 4)},
      {"bin", 3, "\x01\x02\xff"},
      {"binsp", 3, "\x01\x02\x03"},
      {"typed", 11, "\x01\x02"},
      {"empty", 1, ""},
      {"cont", 3, "\x01\x02\x03\x04"},
      {"oddsz", 1, "a"},  // the odd trailing byte is dropped
      {"spaced", 1, std::string("sp\0", 3)},
      {"", 1, std::string("default\0", 8)},
      {"dup", 1, std::string("second\0", 7)},
      {"later", 1, std::string("section two\0", 12)},
  };
  for (const Case& c : cases) {
    std::uint32_t type = 99;
    EXPECT_EQ(Query(store, s, c.name, &type), c.data) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
  }
}

TEST(WineRegistryTest, MalformedLinesAreSkippedAndTheRestServes) {
  TempPrefix prefix;
  prefix.Write("system.reg", SystemReg("[K] 1\n"
                                       "garbage line\n"
                                       "\"noequals\"\n"
                                       "\"badtype\"=str(1):\"x\"\n"
                                       "\"noclose\"=\"abc\n"
                                       "\"bighex\"=hex:100\n"
                                       "\"contbad\"=hex:01,\\\n  zz\n"
                                       "\"ok\"=\"fine\"\n"
                                       "[Broken 1\n"
                                       "\"lost\"=\"x\"\n"
                                       "[K\\\\After] 1\n"
                                       "\"v\"=\"1\"\n"));
  WinePrefixStore store(prefix.dir());
  const std::string k = kMachine + "\\K";
  EXPECT_EQ(Query(store, k, "noequals"), "<missing>");
  // Wine keeps a value whose data does not parse, as REG_NONE without data.
  for (const char* name : {"badtype", "noclose", "bighex", "contbad"}) {
    std::uint32_t type = 99;
    EXPECT_EQ(Query(store, k, name, &type), "") << name;
    EXPECT_EQ(type, 0u) << name;
  }
  EXPECT_EQ(Query(store, k, "ok"), std::string("fine\0", 5));
  EXPECT_EQ(Open(store, kMachine, "Broken"), "<missing>");
  EXPECT_EQ(Query(store, k + "\\After", "v"), std::string("1\0", 2));
}

TEST(WineRegistryTest, KeyNamesAndPaths) {
  TempPrefix prefix;
  prefix.Write("system.reg", SystemReg("[Software\\\\Deep\\\\Er] 1\n"
                                       "\"v\"=\"deep\"\n"
                                       "[\\\\Lead\\\\\\\\Doubled\\\\] 1\n"
                                       "[Br\\[ack\\]et] 1\n"
                                       "[\xc3\x89"
                                       "cole\\\\\\x3bc] 1\n"
                                       "\"Caf\xc3\xa9\"=\"x\"\n"
                                       "[Long\\\\" +
                                       std::string(257, 'a') + "\\\\Tail] 1\n"));
  WinePrefixStore store(prefix.dir());
  // Parents the file never names exist; names match case-insensitively.
  EXPECT_EQ(Open(store, kMachine, "software"), kMachine + "\\Software");
  EXPECT_EQ(Open(store, kMachine, "SOFTWARE\\deep\\eR"), kMachine + "\\Software\\Deep\\Er");
  EXPECT_EQ(Query(store, kMachine + "\\sOfTwArE\\DEEP\\er", "V"), std::string("deep\0", 5));
  // Empty name elements in headers are dropped; escaped brackets are plain.
  EXPECT_EQ(Open(store, kMachine, "Lead\\Doubled"), kMachine + "\\Lead\\Doubled");
  EXPECT_EQ(Open(store, kMachine, "Br[ack]et"), kMachine + "\\Br[ack]et");
  // Below a key: runs of backslashes separate, trailing ones are ignored, a
  // leading one fails, and the empty path is the key itself.
  EXPECT_EQ(Open(store, kMachine, "Software\\\\Deep\\\\\\Er\\\\"),
            kMachine + "\\Software\\Deep\\Er");
  EXPECT_EQ(Open(store, kMachine, "\\Software"), "<missing>");
  EXPECT_EQ(Open(store, kMachine, "\\"), "<missing>");
  EXPECT_EQ(Open(store, kMachine + "\\Software", ""), kMachine + "\\Software");
  EXPECT_EQ(Open(store, kMachine, "Software\\Nope"), "<missing>");
  // cp1252 names against UTF-8 and \x escapes; the registry lower-cases, so
  // MICRO SIGN does not meet GREEK SMALL LETTER MU.
  EXPECT_EQ(Open(store, kMachine,
                 "\xc9"
                 "COLE"),
            kMachine +
                "\\\xc3\x89"
                "cole");
  EXPECT_EQ(Open(store, kMachine,
                 "\xc9"
                 "COLE\\\xb5"),
            "<missing>");
  const std::string ecole = kMachine +
                            "\\\xc3\x89"
                            "cole\\\xce\xbc";
  EXPECT_EQ(Query(store, ecole, "CAF\xc9"), std::string("x\0", 2));
  EXPECT_EQ(Query(store, ecole, "CAFE"), "<missing>");
  // A name element over 256 chars stops the header; what came before stays.
  EXPECT_EQ(Open(store, kMachine, "Long"), kMachine + "\\Long");
  EXPECT_EQ(Open(store, kMachine, "Long\\" + std::string(257, 'a')), "<missing>");
}

TEST(WineRegistryTest, FollowsSymbolicLinks) {
  TempPrefix prefix;
  auto link = [](const std::string& key, const std::string& target) {
    return "[" + key + "] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" + Utf16Hex(target) + "\n";
  };
  prefix.Write(
      "system.reg",
      SystemReg("[System\\\\ControlSet001\\\\Control] 1\n"
                "\"v\"=\"cs1\"\n" +
                link("System\\\\CurrentControlSet", "\\Registry\\Machine\\System\\ControlSet001") +
                link("Chain", "\\REGISTRY\\machine\\system\\currentcontrolset") +
                link("Relative", "Registry\\Machine\\System") +
                link("Loop", "\\Registry\\Machine\\Loop") +
                link("Dangling", "\\Registry\\Machine\\Nowhere") +
                "[Flagless] 1\n"
                "\"SymbolicLinkValue\"=hex(6):" +
                Utf16Hex("\\Registry\\Machine\\System") + "\n"));
  WinePrefixStore store(prefix.dir());
  const std::string cs1 = kMachine + "\\System\\ControlSet001";
  EXPECT_EQ(Open(store, kMachine, "System\\CurrentControlSet"), cs1);
  EXPECT_EQ(Open(store, kMachine, "system\\currentcontrolset\\CONTROL"), cs1 + "\\Control");
  EXPECT_EQ(Open(store, kMachine, "Chain\\Control"), cs1 + "\\Control");
  EXPECT_EQ(Query(store, kMachine + "\\System\\CurrentControlSet\\Control", "v"),
            std::string("cs1\0", 4));
  for (const char* bad : {"Relative", "Loop", "Dangling"})
    EXPECT_EQ(Open(store, kMachine, bad), "<missing>") << bad;
  EXPECT_EQ(Open(store, kMachine, "Flagless"), kMachine + "\\Flagless");
  std::string hkcc;
  ASSERT_TRUE(store.RootPath(0x80000005, &hkcc));
  EXPECT_EQ(Open(store, hkcc, ""), "<missing>");  // no Hardware Profiles here
}

TEST(WineRegistryTest, RootsMapToTheirFiles) {
  TempPrefix prefix;
  prefix.Write("system.reg",
               SystemReg("[] 1\n\"top\"=\"m\"\n[Software\\\\Classes\\\\.txt] 1\n@=\"txtfile\"\n"));
  // A value of the root key itself, asked for before anything else.
  {
    WinePrefixStore fresh(prefix.dir());
    EXPECT_EQ(Query(fresh, kMachine, "TOP"), std::string("m\0", 2));
  }
  prefix.Write("user.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\" +
                               kUserSid + "\n\n[Console] 1\n\"c\"=dword:00000001\n");
  prefix.Write("userdef.reg",
               "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\.Default\n\n"
               "[Env] 1\n\"d\"=\"def\"\n");
  WinePrefixStore store(prefix.dir());
  std::string path;
  const std::pair<std::uint32_t, std::string> roots[] = {
      {0x80000000, kMachine + "\\Software\\Classes"},
      {0x80000001, "\\Registry\\User\\" + kUserSid},
      {0x80000002, kMachine},
      {0x80000003, "\\Registry\\User"},
      {0x80000005, kMachine + "\\System\\CurrentControlSet\\Hardware Profiles\\Current"},
  };
  for (const auto& r : roots) {
    ASSERT_TRUE(store.RootPath(r.first, &path)) << r.first;
    EXPECT_EQ(path, r.second);
  }
  for (std::uint32_t none : {0x80000004u, 0x80000006u, 0x80000007u, 0u})
    EXPECT_FALSE(store.RootPath(none, &path)) << none;

  ASSERT_TRUE(store.RootPath(0x80000000, &path));
  EXPECT_EQ(Query(store, Open(store, path, ".TXT"), ""), std::string("txtfile\0", 8));
  ASSERT_TRUE(store.RootPath(0x80000001, &path));
  EXPECT_EQ(Query(store, Open(store, path, "console"), "c"), std::string("\1\0\0\0", 4));
  ASSERT_TRUE(store.RootPath(0x80000003, &path));
  EXPECT_EQ(Query(store, Open(store, path, ".default\\ENV"), "d"), std::string("def\0", 4));
  EXPECT_EQ(Open(store, path, kUserSid + "\\Console"),
            "\\Registry\\User\\" + kUserSid + "\\Console");
}

TEST(WineRegistryTest, UnreadablePrefixesReadAsEmpty) {
  {
    WinePrefixStore store("/nonexistent/wine/prefix");
    std::string path;
    ASSERT_TRUE(store.RootPath(0x80000001, &path));
    EXPECT_EQ(path, "\\Registry\\User\\S-1-5-21-0-0-0-1000");  // wineserver's own
    EXPECT_EQ(Open(store, kMachine, "Software"), "<missing>");
    EXPECT_EQ(Open(store, kMachine, ""), kMachine);
    EXPECT_EQ(Query(store, kMachine, ""), "<missing>");
    EXPECT_EQ(Query(store, "\\Nowhere", "x"), "<missing>");
  }
  TempPrefix prefix;
  prefix.Write("system.reg", "WINE REGISTRY Version 1\n[A] 1\n\"v\"=\"1\"\n");
  // An unknown #arch ends the file where it stands.
  prefix.Write("userdef.reg",
               "WINE REGISTRY Version 2\n[Kept] 1\n\"v\"=\"1\"\n[Bad 1\n#arch=win16\n[Gone] 1\n");
  WinePrefixStore store(prefix.dir());
  EXPECT_EQ(Open(store, kMachine, "A"), "<missing>");
  EXPECT_EQ(Query(store, "\\Registry\\User\\.Default\\Kept", "v"), std::string("1\0", 2));
  EXPECT_EQ(Open(store, "\\Registry\\User\\.Default", "Gone"), "<missing>");
}

// A megabyte of noise (no backslash, so no line continues onto the next)
// costs nothing but itself: the key after it reads as written.
TEST(WineRegistryTest, NoiseInAFileLeavesTheRestReadable) {
  std::string noise;
  std::uint32_t x = 12345;
  while (noise.size() < (1u << 20)) {
    x = x * 1103515245u + 12345u;
    const char c = static_cast<char>(x >> 24);
    noise += c == '\\' ? '\n' : c;
  }
  TempPrefix prefix;
  prefix.Write("system.reg", "WINE REGISTRY Version 2\n" + noise + "\n[After] 1\n\"v\"=\"ok\"\n");
  WinePrefixStore store(prefix.dir());
  EXPECT_EQ(Query(store, kMachine + "\\After", "v"), std::string("ok\0", 3));
  EXPECT_EQ(Open(store, kMachine, "Nowhere"), "<missing>");
}

TEST(WineRegistryTest, NarrowsStringsAsWineDoes) {
  TempPrefix prefix;
  prefix.Write("system.reg",
               SystemReg("[N] 1\n"
                         "\"s\"=\"\\x20ac\\x100\\x3a9\\x4e00\\xff21\\xd800|\\x2019\"\n"
                         "\"raw\"=hex(3):ac,20\n"));
  WinePrefixStore store(prefix.dir());
  // Euro and quote map into 0x80-0x9F, best fits are used (Ω gives O), the
  // rest is '?'.
  const std::string expected(
      "\x80"
      "AO?A?|\x92\0",
      9);
  EXPECT_EQ(Query(store, kMachine + "\\N", "s"), expected);
  EXPECT_EQ(Query(store, kMachine + "\\N", "raw"), "\xac\x20");
}

TEST(WineRegistryTest, LookupsLeaveThePrefixUntouched) {
  TempPrefix prefix;
  const std::string text = SystemReg("[A] 1\n\"v\"=\"1\"\n");
  prefix.Write("system.reg", text);
  prefix.Write("user.reg", "WINE REGISTRY Version 2\n[B] 1\n");
  struct stat before {};
  ASSERT_EQ(stat((prefix.dir() + "/system.reg").c_str(), &before), 0);
  {
    WinePrefixStore store(prefix.dir());
    std::string path;
    EXPECT_EQ(Query(store, Open(store, kMachine, "a"), "V"), std::string("1\0", 2));
    ASSERT_TRUE(store.RootPath(0x80000001, &path));
    EXPECT_NE(Open(store, path, "B"), "<missing>");
    EXPECT_EQ(Open(store, kMachine, "Missing"), "<missing>");
  }
  struct stat after {};
  ASSERT_EQ(stat((prefix.dir() + "/system.reg").c_str(), &after), 0);
  EXPECT_EQ(prefix.Read("system.reg"), text);
  EXPECT_EQ(after.st_mtime, before.st_mtime);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(access((prefix.dir() + "/userdef.reg").c_str(), F_OK), -1);  // nothing created
}

TEST(WineRegistryTest, DefaultStoreUsesWinePrefix) {
  TempPrefix prefix;
  prefix.Write("system.reg", SystemReg("[Mark] 1\n"));
  const char* old = std::getenv("WINEPREFIX");
  std::string saved = old ? old : "";
  setenv("WINEPREFIX", prefix.dir().c_str(), 1);
  auto store = CreateDefaultRegistryStore();
  std::string path;
  EXPECT_TRUE(ansi_store::OpenKey(*store, kMachine, "mark", &path));
  if (old) {
    setenv("WINEPREFIX", saved.c_str(), 1);
  } else {
    unsetenv("WINEPREFIX");
  }
}

}  // namespace
}  // namespace platform
