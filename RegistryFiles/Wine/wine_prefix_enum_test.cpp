// Listing subkeys and values of a Wine prefix's keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RegistryFiles/Wine/wine_prefix_store.h"
#include "RegistryFiles/Wine/wine_prefix_test_util.h"

namespace platform {
namespace {

using namespace testing_util;
using Names = std::vector<std::string>;

std::string Link(const std::string& key, const std::string& target) {
  return "[" + key + "] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" + Utf16Hex(target) + "\n";
}

void WritePrefix(const TempPrefix& prefix) {
  prefix.Write(
      "system.reg",
      SystemReg("[Software\\\\Apps\\\\Zeta] 1\n\"V\"=\"1\"\n"
                "[Software\\\\Apps\\\\alpha\\\\Sub] 1\n"
                "[Software\\\\Apps\\\\\\xe9t\\xe9] 1\n"
                "[Software\\\\Apps\\\\\\x4e2d] 1\n"
                "[Software\\\\Apps\\\\Beta] 1\n@=\"def\"\n\"V\"=\"1\"\n\"a\\\\b\"=dword:1\n"
                "\"\\x4e2d\"=\"x\"\n"
                // A second section of the same key, a name again in
                // another case: listed once.
                "[Software\\\\Apps\\\\beta] 2\n\"v\"=\"2\"\n\"W\"=\"3\"\n" +
                Link("Software\\\\Apps\\\\Lien", "\\Registry\\Machine\\Software") +
                Link("Software\\\\Apps\\\\Boucle",
                     "\\Registry\\Machine\\Software\\Apps"
                     "\\Boucle")));
  prefix.Write("user.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\" +
                               kUserSid + "\n\n[Console] 1\n\"c\"=dword:00000001\n");
}

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WinePrefixEnumTest, SubkeysAsFirstWrittenInWindows1252) {
  TempPrefix prefix;
  WritePrefix(prefix);
  WinePrefixStore store(prefix.dir());
  Names names;
  ASSERT_TRUE(ansi_store::KeyNames(store, kMachine + "\\Software\\Apps", &names));
  EXPECT_EQ(Sorted(names), (Names{"?", "Beta", "Boucle", "Lien", "Zeta", "alpha", "\xE9t\xE9"}));
  ASSERT_TRUE(ansi_store::KeyNames(store, kMachine + "\\software\\APPS\\Alpha", &names));
  EXPECT_EQ(names, Names{"Sub"});
  ASSERT_TRUE(ansi_store::KeyNames(store, kMachine + "\\Software\\Apps\\Zeta", &names));
  EXPECT_EQ(names, Names{});
  ASSERT_TRUE(ansi_store::KeyNames(store, "\\Registry\\User", &names));
  EXPECT_EQ(Sorted(names), (Names{".Default", kUserSid}));
  EXPECT_FALSE(ansi_store::KeyNames(store, kMachine + "\\Software\\Nowhere", &names));
}

TEST(WinePrefixEnumTest, ListsAfterLookupsThatIndexedOnlyTheirPath) {
  TempPrefix prefix;
  WritePrefix(prefix);
  WinePrefixStore store(prefix.dir());
  // The first lookups index only the keys on their path.
  EXPECT_EQ(Open(store, kMachine, "Software\\Apps\\Zeta"), kMachine + "\\Software\\Apps\\Zeta");
  Names names;
  ASSERT_TRUE(ansi_store::KeyNames(store, kMachine + "\\Software\\Apps", &names));
  EXPECT_EQ(names.size(), 7u);
  EXPECT_EQ(Query(store, kMachine + "\\Software\\Apps\\Beta", "V"), std::string("2\0", 2));
}

TEST(WinePrefixEnumTest, ValuesOnceEachAcrossSections) {
  TempPrefix prefix;
  WritePrefix(prefix);
  WinePrefixStore store(prefix.dir());
  Names names;
  ASSERT_TRUE(ansi_store::ValueNames(store, kMachine + "\\Software\\Apps\\Beta", &names));
  EXPECT_EQ(Sorted(names), (Names{"", "?", "V", "W", "a\\b"}));
  ASSERT_TRUE(ansi_store::ValueNames(store, kMachine + "\\Software\\Apps\\alpha", &names));
  EXPECT_EQ(names, Names{});
  EXPECT_FALSE(ansi_store::ValueNames(store, kMachine + "\\Software\\Nowhere", &names));
}

TEST(WinePrefixEnumTest, LinksAreToldApartWithoutFollowingThem) {
  TempPrefix prefix;
  WritePrefix(prefix);
  WinePrefixStore store(prefix.dir());
  const std::string apps = kMachine + "\\Software\\Apps";
  EXPECT_TRUE(ansi_store::IsLink(store, apps, "Lien"));
  EXPECT_TRUE(ansi_store::IsLink(store, apps, "BOUCLE"));
  EXPECT_FALSE(ansi_store::IsLink(store, apps, "Beta"));
  EXPECT_FALSE(ansi_store::IsLink(store, apps, "Nowhere"));
  EXPECT_FALSE(ansi_store::IsLink(store, kMachine + "\\Nowhere", "Lien"));
}

// From 1970 to 1601 in 100 ns units, and a second.
constexpr std::uint64_t kEpoch = 116444736000000000ull, kSecond = 10000000;

// The loader gives a key the time of the first section that sets one in its
// subtree: its own #time= line (hex FILETIME), else its header's seconds.
TEST(WinePrefixEnumTest, KeyTimesAsTheLoaderSetsThem) {
  TempPrefix prefix;
  prefix.Write("system.reg",
               SystemReg("[Software\\\\Timed] 1600000000\n#time=1d9a0b2c3d4e5f6\n\"v\"=\"1\"\n"
                         "[Software\\\\Seconds] 1600000001\n\"v\"=dword:1\n"
                         "[Software\\\\Bare]\n"
                         // Only its child names it.
                         "[Software\\\\Implicit\\\\\\x0131] 1600000002\n#time=1D9FFFFFFFFFFFF\n"
                         // Its child's section comes first.
                         "[Software\\\\Late\\\\Child] 1600000003\n"
                         "[Software\\\\Late] 1600000004\n#time=1da000000000000\n"
                         // A second section changes nothing.
                         "[Software\\\\Twice] 1600000005\n#time=1d9000000000001\n\"a\"=\"1\"\n"
                         "[Software\\\\twice] 1600000006\n#time=1d9000000000002\n\"A\"=\"2\"\n"
                         "\"b\"=\"2\"\n"));
  WinePrefixStore store(prefix.dir());
  struct Case {
    const char* key;  // beneath HKLM
    std::uint64_t time;
    std::uint32_t subKeys, values;
  } const cases[] = {
      {"Software\\Timed", 0x1d9a0b2c3d4e5f6ull, 0, 1},
      {"Software\\Seconds", 1600000001 * kSecond + kEpoch, 0, 1},
      {"Software\\Bare", 0, 0, 0},  // the loader takes the time it loads
      {"Software\\Implicit", 0x1D9FFFFFFFFFFFFull, 1, 0},
      {"Software\\Late", 1600000003 * kSecond + kEpoch, 1, 0},
      {"Software\\Twice", 0x1d9000000000001ull, 0, 2},
      {"", 0, 1, 0},  // made at start: no file holds its time
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    std::string path;
    ASSERT_TRUE(ansi_store::OpenKey(store, kMachine, c.key, &path));
    RegKeyInfo info;
    ASSERT_TRUE(store.KeyInfo(path, &info));
    EXPECT_EQ(info.lastWrite, c.time);
    EXPECT_EQ(info.subKeys, c.subKeys);
    EXPECT_EQ(info.values, c.values);
  }
  RegKeyInfo info;
  EXPECT_FALSE(store.KeyInfo(kMachine + "\\Software\\Nowhere", &info));
}

}  // namespace
}  // namespace platform
