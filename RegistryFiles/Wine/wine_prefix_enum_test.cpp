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

}  // namespace
}  // namespace platform
