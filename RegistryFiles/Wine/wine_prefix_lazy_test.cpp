// A run's first lookups are answered from keys indexed only along the path
// asked for, or beneath the key listed; later ones from the whole index.
// Each lookup and list here is made both ways, on prefixes whose headers
// make the two easy to tell apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RegistryFiles/Wine/wine_prefix_test_util.h"

namespace platform {
namespace {

using testing_util::kMachine;
using testing_util::Open;
using testing_util::Query;
using testing_util::SystemReg;
using testing_util::TempPrefix;
using testing_util::Utf16Hex;

struct Lookup {
  const char* sub;   // beneath HKLM
  const char* name;  // a value of it
};

struct Case {
  const char* what;
  std::string system;
  std::vector<Lookup> lookups;
};

std::string Link(const std::string& key, const std::string& target) {
  return "[" + key + "] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" + Utf16Hex(target) + "\n\n";
}

std::string Joined(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  std::string text;
  for (const std::string& name : names) text += name + "|";
  return text;
}

// What a list gives: the key's subkeys and values, or that it is missing.
std::string Listed(WinePrefixStore& store, const Lookup& l) {
  const std::string path = kMachine + "\\" + l.sub;
  std::vector<std::string> keys, values;
  if (!ansi_store::KeyNames(store, path, &keys)) return "<missing>";
  EXPECT_TRUE(ansi_store::ValueNames(store, path, &values));
  return Joined(keys) + " / " + Joined(values);
}

// What a lookup gives: the key's path and the value's bytes.
std::string Answer(WinePrefixStore& store, const Lookup& l) {
  const std::string path = Open(store, kMachine, l.sub);
  if (path == "<missing>") return path;
  return path + " = " + Query(store, path, l.name);
}

TEST(WineLazyLookupTest, AnswersAsTheWholeIndexDoes) {
  const std::string deep = [] {
    std::string s;
    for (int i = 0; i < 600; ++i) s += "d\\\\";
    return s;
  }();
  const std::vector<Case> cases = {
      {"names keep the case first written, also off the path",
       SystemReg("[SOFTWARE\\\\Vendor\\\\Other] 1\n\n[software\\\\VENDOR\\\\App] 1\n\"v\"=\"a\"\n"),
       {{"software\\vendor\\app", "v"}, {"Software", "x"}, {"software\\vendor", "x"}}},
      {"sections split over the file, the later value wins",
       SystemReg("[K] 1\n\"v\"=\"1\"\n\n[K2] 1\n\n[K\\\\\\\\] 1\n\"v\"=\"2\"\n\n[\\\\k] "
                 "1\n\"w\"=\"3\"\n"),
       {{"K", "v"}, {"k", "w"}, {"K2", "v"}, {"K\\\\", "v"}}},
      {"keys that only deeper headers name",
       SystemReg("[A\\\\B\\\\C\\\\D] 1\n\"v\"=\"d\"\n"),
       {{"A\\B\\C", ""}, {"A\\B", ""}, {"a\\b\\c\\d", "v"}, {"A\\B\\C\\D\\E", ""}, {"A\\Bx", ""}}},
      {"links on the path, also at the root",
       SystemReg("[Target\\\\Sub] 1\n\"v\"=\"t\"\n\n" + Link("Via", "\\Registry\\Machine\\Target") +
                 "[Via\\\\Sub] 1\n\"v\"=\"hidden\"\n"),
       {{"Via\\Sub", "v"}, {"Target\\Sub", "v"}, {"Via", "SymbolicLinkValue"}}},
      {"a link on the root",
       SystemReg("[] 1\n#link\n\"SymbolicLinkValue\"=hex(6):" + Utf16Hex("\\Registry\\Machine\\R") +
                 "\n\n[R\\\\X] 1\n\"v\"=\"r\"\n"),
       {{"X", "v"}, {"R\\X", "v"}}},
      {"escaped and non-ASCII names",
       SystemReg("[Esc\\x41pe\\\\A]B] 1\n\"v\"=\"e\"\n\n[Caf\xC3\xA9\\\\S] 1\n\"v\"=\"c\"\n\n"
                 "[Oct\\101l] 1\n\"v\"=\"o\"\n"),
       {{"escape\\A]B", "v"}, {"Caf\xE9\\S", "v"}, {"CAF\xC9", ""}, {"OctAl", "v"}}},
      {"a malformed header keeps the keys before it and ends the section",
       SystemReg("[Bad\\\\" + std::string(300, 'x') +
                 "\\\\Tail] 1\n\"h\"=hex:00,\\\n[Seen] 1\n\"v\"=\"s\"\n"),
       {{"Bad", ""}, {"Seen", "v"}}},
      {"a line opening with '[' that a value's data goes on over",
       SystemReg("[Good] 1\n\"h\"=hex:00,\\\n[Swallowed] 1\n\"v\"=\"g\"\n"),
       {{"Good", "v"}, {"Swallowed", "v"}}},
      {"nesting past Windows' depth",
       SystemReg("[" + deep + "] 1\n\n[d\\\\x] 1\n\"v\"=\"x\"\n"),
       {{"d\\d\\d", ""}, {"d\\x", "v"}}},
      {"keys the server adds",
       SystemReg("[Software\\\\Classes\\\\Y] 1\n"),
       {{"Software\\Classes\\Wow6432Node", ""},
        {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Perflib\\009", ""}}},
  };
  for (const Case& c : cases) {
    TempPrefix prefix;
    prefix.Write("system.reg", c.system);
    WinePrefixStore whole(prefix.dir());
    // Lookups elsewhere first, so that this store has built its whole index.
    for (const char* other : {"Zz1", "Zz2", "Zz3"}) Open(whole, kMachine, other);
    // One store for the case's lists and lookups in turn: each must find
    // what the keys indexed before it lack.
    WinePrefixStore turns(prefix.dir());
    for (const Lookup& l : c.lookups) {
      EXPECT_EQ(Listed(turns, l), Listed(whole, l)) << c.what << ": " << l.sub;
      EXPECT_EQ(Answer(turns, l), Answer(whole, l)) << c.what << ": " << l.sub;
      WinePrefixStore first(prefix.dir());
      EXPECT_EQ(Answer(first, l), Answer(whole, l)) << c.what << ": " << l.sub;
      // A list first, as a pattern's walk starts, then lookups beneath it.
      WinePrefixStore listing(prefix.dir());
      EXPECT_EQ(Listed(listing, l), Listed(whole, l)) << c.what << ": " << l.sub;
      EXPECT_EQ(Answer(listing, l), Answer(whole, l)) << c.what << ": " << l.sub;
    }
  }
}

}  // namespace
}  // namespace platform
