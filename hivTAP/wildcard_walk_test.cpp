// Key lines under /W over the test registry: the real one on Windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/codepage.h"
#include "RunTime/text_stream.h"
#include "hivTAP/key_line.h"
#include "hivTAP/process_line.h"
#include "hivTAP/walk_plan.h"
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

TEST_F(PatternLineTest, AnyDepthAndKeyListings) {
  EXPECT_EQ(Lines(Key("Apps\\**\\DisplayName"), true),
            (Texts{"zeta\\DisplayName=Z", "{A}\\DisplayName=A", "{A}\\Sub\\DisplayName=deep",
                   "{b}\\DisplayName=B", "\xC9t\xE9\\DisplayName=E"}));
  // Two `**` reach a key by two routes: it is listed once.
  EXPECT_EQ(Lines(Key("Apps\\**\\**\\DisplayName"), false), (Texts{"Z", "A", "deep", "B", "E"}));
  EXPECT_EQ(Lines(Key("Apps\\*\\"), false),
            (Texts{"zeta\\", "{A}\\", "{b}\\", "{c}\\", "\xC9t\xE9\\"}));
  EXPECT_EQ(Lines("Nom=" + Key("Apps\\**\\"), true),
            (Texts{"Nom= zeta\\", "Nom= {A}\\", "Nom= {A}\\Sub\\", "Nom= {b}\\", "Nom= {c}\\",
                   "Nom= \xC9t\xE9\\"}));
  EXPECT_EQ(Lines(Key("Apps\\zeta\\"), true), (Texts{"zeta\\"}));
  EXPECT_EQ(Lines(Key("Apps\\nope\\"), true), (Texts{"nope\\="}));
  // Without /W a trailing backslash names a value, as it always did.
  EXPECT_EQ(Lines(Key("Apps\\zeta\\"), true, false), (Texts{"zeta="}));
  // The cap counts every line, keys too.
  EXPECT_EQ(Lines(Key("Apps\\**\\"), false, true, 2), (Texts{"zeta\\", "{A}\\"}));
}

TEST_F(PatternLineTest, EveryPrintedPathReadsBack) {
  for (const char* pattern : {"Vals\\*", "Apps\\*\\DisplayName", "Apps\\**\\*"}) {
    for (const std::string& line : Lines(Key(pattern), true)) {
      if (line.find('=') == std::string::npos) continue;  // a multi-string's next line
      const std::string path = line.substr(0, line.find('='));
      const std::string base = std::string(pattern).substr(0, std::string(pattern).find('*'));
      SCOPED_TRACE(line);
      const Texts back = Lines(Key(base + path), true);
      ASSERT_FALSE(back.empty());
      // Named without wildcards, the line shows the value's name alone.
      EXPECT_EQ(back[0], line.substr(path.rfind('\\') + 1));
    }
  }
}

TEST_F(PatternLineTest, StoredNamesReadTheirOwnData) {
  const auto sz = [](const std::u16string& text) {
    std::string data;
    for (const char16_t c : text + u'\0') {
      data += static_cast<char>(c & 0xFF);
      data += static_cast<char>(c >> 8);
    }
    return data;
  };
  registry_.SetValueW(u"T\\i", u"v", kRegSz, sz(u"plain"));
  registry_.SetValueW(u"T\\\u0131", u"v", kRegSz, sz(u"dotless"));
  registry_.SetValueW(u"T\\\u03A9mega", u"v", kRegSz, sz(u"omega"));
  registry_.SetValueW(u"U", u"\u01C5", kRegSz, sz(u"titlecase"));
  registry_.SetValueW(u"U", u"\u4E2D", kRegSz, sz(u"middle"));
  registry_.SetValueW(u"U", u"\x7F\u0081", kRegSz, sz(u"controls"));
  const std::string omega = platform::WideToAnsi(u"\u03A9");
  const std::string dz = platform::WideToAnsi(u"\u01C5");
  EXPECT_EQ(Lines(Key("T\\*\\v"), true),
            (Texts{"i\\v=plain", platform::WideToAnsi(u"\u0131") + "\\v=dotless",
                   omega + "mega\\v=omega"}));
  EXPECT_EQ(Lines(Key("T\\?mega\\v"), true), (Texts{omega + "mega\\v=omega"}));
  // Sorted by stored names: U+007F, U+01C5, U+4E2D.
  EXPECT_EQ(Lines(Key("U\\*"), true), (Texts{"%7F%81=controls", dz + "=titlecase",
                                             platform::WideToAnsi(u"\u4E2D") + "=middle"}));
}

class CountingSink : public TWalkSink {
 public:
  void Value(const TWalkKey&, const TFoundValue&, const std::string&) override { ++calls; }
  void Key(const TWalkKey&, const std::string&) override { ++calls; }
  void Recovered(const TRecoveredRecord&, const std::string&) override { ++calls; }
  int calls = 0;
};

TEST(WalkKeyLine, PatternsDeeperThanWindowsNestsMatchNothing) {
  std::string path = "HKCU\\";
  for (std::size_t i = 0; i <= kMaxPatternDepth; ++i) path += "*\\";
  TWalkPlan plan;
  ASSERT_TRUE(PlanKeyLine(path + "*", true, plan));
  CountingSink sink;
  const TWalkResult result = WalkKeyLine(plan, 10, sink);
  EXPECT_EQ(result.Count, 0u);
  EXPECT_TRUE(result.Complete);
  EXPECT_EQ(sink.calls, 0);
}

TEST(ShownName, EscapesThePrefixSignsAndControls) {
  const auto shown = [](const std::string& ansi, bool isValue) {
    return ShownName(platform::AnsiToWide(ansi), isValue);
  };
  EXPECT_EQ(shown("", true), "@");
  EXPECT_EQ(shown("@", true), "%40");
  EXPECT_EQ(shown("@x", true), "@x");
  EXPECT_EQ(shown("\\DosDevices\\C:", true), "%5CDosDevices%5CC:");
  EXPECT_EQ(shown("a=b%c", false), "a%3Db%25c");
  EXPECT_EQ(shown(std::string("l\r\n\x01\x7F\x81\x9D", 7), true), "l%0D%0A%01%7F%81%9D");
  EXPECT_EQ(shown("\xC9t\xE9 *?\x80\x9F", false), "\xC9t\xE9 %2A%3F\x80\x9F");  // €, Ÿ are letters
  // A character the code page lacks is a `?` that reads back to it; the
  // name's own `?` is no wildcard.
  EXPECT_EQ(ShownName(u"\u4E2D?", false), "?%3F");
  // A key line's trailing blanks are trimmed, not a value name's last one.
  EXPECT_EQ(ShownName(u"a b ", true), "a b%20");
  EXPECT_EQ(ShownName(u"a b ", false), "a b ");
}

}  // namespace
