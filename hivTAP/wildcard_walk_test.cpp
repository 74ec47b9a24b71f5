// Key lines under /W over the test registry: the real one on Windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunTime/text_stream.h"
#include "hivTAP/key_line.h"
#include "hivTAP/wildcard_walk.h"
#include "tests/temp_dir.h"
#include "tests/test_registry.h"

namespace {

class PatternLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.SetValue("Apps\\{b}", "DisplayName", kRegSz, std::string("B", 2));
    registry_.SetValue("Apps\\{A}", "DisplayName", kRegSz, std::string("A", 2));
    registry_.SetValue("Apps\\{A}\\Sub", "DisplayName", kRegSz, std::string("deep", 5));
    registry_.SetValue("Apps\\zeta", "DisplayName", kRegSz, std::string("Z", 2));
    registry_.SetValue("Apps\\\xC9t\xE9", "DisplayName", kRegSz, std::string("E", 2));
    registry_.SetValue("Apps\\{c}", "Other", kRegSz, std::string("c", 2));
    registry_.SetValue("Vals", "", kRegSz, std::string("def", 4));
    registry_.SetValue("Vals", "a\\b", kRegSz, std::string("bs", 3));
    registry_.SetValue("Vals", "x=y", kRegSz, std::string("eq", 3));
    registry_.SetValue("Vals", "@", kRegSz, std::string("at", 3));
    registry_.SetValue("Vals", "%", kRegSz, std::string("pc", 3));
    registry_.SetValue("Vals", "m", kRegMultiSz, std::string("l1\0l2\0\0", 7));
    registry_.SetValue("Vals", "d", kRegDword, std::string("\x2A\0\0\0", 4));
  }

  std::string Key(const std::string& rest) const {
    return "HKCU\\" + registry_.KeyPath() + "\\" + rest;
  }

  // The output file's lines for the key line, and the console's in `console`.
  std::vector<std::string> Lines(const std::string& keyLine, bool showName, bool wildcards = true,
                                 std::size_t cap = 1000000, std::string* console = nullptr) {
    TRunSettings settings;
    settings.ListMode = true;
    settings.ShowValueName = showName;
    settings.Wildcards = wildcards;
    settings.PatternCap = cap;
    TempDir dir;
    {
      TTextStream consoleStream;
      TTextStream file;
      consoleStream.OpenAppend(dir.Path("console.txt"));
      file.OpenAppend(dir.Path("file.txt"));
      ProcessKeyLine(keyLine, settings, consoleStream, file);
      consoleStream.Close();
      file.Close();
    }
    if (console) *console = dir.Read("console.txt");
    std::vector<std::string> lines;
    const std::string text = dir.Read("file.txt");
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = text.find("\r\n", start);
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  TestRegistry registry_;
};

using Texts = std::vector<std::string>;

TEST_F(PatternLineTest, KeysInWindowsOrderOfNames) {
  EXPECT_EQ(Lines(Key("Apps\\*\\DisplayName"), true),
            (Texts{"zeta\\DisplayName=Z", "{A}\\DisplayName=A", "{b}\\DisplayName=B",
                   "\xC9t\xE9\\DisplayName=E"}));
  EXPECT_EQ(Lines(Key("Apps\\*\\DisplayName"), false), (Texts{"Z", "A", "B", "E"}));
  EXPECT_EQ(Lines(Key("Apps\\*\\*\\DisplayName"), true), (Texts{"{A}\\Sub\\DisplayName=deep"}));
  EXPECT_EQ(Lines(Key("Apps\\?eta\\DisplayName"), true), (Texts{"zeta\\DisplayName=Z"}));
  EXPECT_EQ(Lines(Key("APPS\\\xE9*\\displayname"), true), (Texts{"\xC9t\xE9\\displayname=E"}));
  EXPECT_EQ(Lines("Nom=" + Key("Apps\\{*}\\DisplayName"), true),
            (Texts{"Nom= {A}\\DisplayName=A", "Nom= {b}\\DisplayName=B"}));
}

TEST_F(PatternLineTest, ValueNamesInThePrefix) {
  // The default value, and names that hold the prefix's own signs.
  EXPECT_EQ(Lines(Key("Vals\\*"), true),
            (Texts{"@=def", "%25=pc", "%40=at", "a%5Cb=bs", "d=42", "m=l1", "l2", "x%3Dy=eq"}));
  EXPECT_EQ(Lines(Key("Val?\\?"), true),
            (Texts{"Vals\\%25=pc", "Vals\\%40=at", "Vals\\d=42", "Vals\\m=l1", "l2"}));
}

TEST_F(PatternLineTest, NoMatchWritesWhatAMissingValueWrites) {
  EXPECT_EQ(Lines(Key("Apps\\*\\Nope"), true), (Texts{"Nope="}));
  EXPECT_EQ(Lines("Nom=" + Key("Apps\\*\\Nope"), true), (Texts{"Nom= "}));
  EXPECT_EQ(Lines(Key("Apps\\*\\Nope"), false), (Texts{""}));
  EXPECT_EQ(Lines(Key("Nowhere\\*\\*"), true), (Texts{"*="}));
}

TEST_F(PatternLineTest, WithoutTheOptionOrAWildcardAsBefore) {
  // Without /W a star is a name's own character: no key is named so.
  EXPECT_EQ(Lines(Key("Apps\\*\\DisplayName"), true, false), (Texts{"DisplayName="}));
  EXPECT_EQ(Lines(Key("Apps\\zeta\\DisplayName"), true), (Texts{"DisplayName=Z"}));
  EXPECT_EQ(Lines("Nom=" + Key("Apps\\zeta\\DisplayName"), true), (Texts{"Nom= Z"}));
  EXPECT_EQ(Lines("HK*\\Software\\*", true), (Texts{"HK*\\Software\\*"}));
}

TEST_F(PatternLineTest, StopsAtTheCapWithOneMessage) {
  std::string console;
  EXPECT_EQ(Lines(Key("Apps\\*\\DisplayName"), true, true, 2, &console),
            (Texts{"zeta\\DisplayName=Z", "{A}\\DisplayName=A"}));
  EXPECT_NE(console.find("plus de 2 valeurs"), std::string::npos) << console;
  EXPECT_EQ(console.find("plus de", console.find("plus de") + 1), std::string::npos);
  // Exactly as many as the cap is no overflow.
  Lines(Key("Apps\\*\\DisplayName"), true, true, 4, &console);
  EXPECT_EQ(console.find("plus de"), std::string::npos) << console;
}

TEST(WalkPattern, PatternsDeeperThanWindowsNestsMatchNothing) {
  std::string path;
  for (std::size_t i = 0; i <= kMaxPatternDepth; ++i) path += "*\\";
  bool complete = false;
  std::size_t calls = 0;
  EXPECT_EQ(
      WalkPattern(
          0x80000001, path, "*", 10,
          [&](const std::string&, const std::string&, const std::string&) { ++calls; }, &complete),
      0u);
  EXPECT_TRUE(complete);
  EXPECT_EQ(calls, 0u);
}

TEST(ShownName, EscapesThePrefixSigns) {
  EXPECT_EQ(ShownName("", true), "@");
  EXPECT_EQ(ShownName("@", true), "%40");
  EXPECT_EQ(ShownName("@x", true), "@x");
  EXPECT_EQ(ShownName("\\DosDevices\\C:", true), "%5CDosDevices%5CC:");
  EXPECT_EQ(ShownName("a=b%c", false), "a%3Db%25c");
  EXPECT_EQ(ShownName(std::string("l\r\n\x01", 4), true), "l%0D%0A%01");
  EXPECT_EQ(ShownName("\xC9t\xE9 *?", false), "\xC9t\xE9 *?");
}

}  // namespace
