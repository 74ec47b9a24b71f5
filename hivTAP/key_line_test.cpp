#include "hivTAP/key_line.h"
#include "hivTAP/process_line.h"

#include <gtest/gtest.h>

#include "Base/exception.h"
#include "MyRegistry/registry.h"
#include "RunTime/text_stream.h"
#include "tests/temp_dir.h"
#include "tests/test_registry.h"

namespace {

struct Split {
  bool ok;
  std::uint32_t root;
  std::string path;
  std::string name;
};

Split SplitOf(const std::string& spec) {
  Split s{};
  s.ok = SplitKeySpec(spec, s.root, s.path, s.name);
  return s;
}

TEST(SplitKeySpec, ValidKeys) {
  struct Case {
    const char* spec;
    std::uint32_t root;
    const char* path;
    const char* name;
  } cases[] = {
      {"HKCU\\Control Panel\\Desktop\\Wallpaper", kHkeyCurrentUser, "Control Panel\\Desktop\\",
       "Wallpaper"},
      {"  hklm\\a\\b  ", kHkeyLocalMachine, "a\\", "b"},
      {"Hkey_Users\\S-1-5-18\\Environment\\TEMP", kHkeyUsers, "S-1-5-18\\Environment\\", "TEMP"},
      {"HKCU\\Software\\", kHkeyCurrentUser, "", "Software"},
      {"HKCU\\Software\\\\\t", kHkeyCurrentUser, "", "Software"},
      {"HKCU\\\\X", kHkeyCurrentUser, "\\", "X"},
      {"HKCU\\X\\ Y", kHkeyCurrentUser, "X\\", " Y"},
      {"HKCU\\X\\ \\", kHkeyCurrentUser, "X\\", " "},
      {"hkey_classes_root\\.txt\\Content Type", kHkeyClassesRoot, ".txt\\", "Content Type"},
      {"HKCC\\a", kHkeyCurrentConfig, "", "a"},
      {"hkpd\\a", kHkeyPerformanceData, "", "a"},
      {"HKEY_DYN_DATA\\a", kHkeyDynData, "", "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec);
    const Split s = SplitOf(c.spec);
    EXPECT_EQ(s.ok, c.root != 0);
    EXPECT_EQ(s.root, c.root);
    EXPECT_EQ(s.path, c.path);
    EXPECT_EQ(s.name, c.name);
  }
}

TEST(SplitKeySpec, InvalidKeys) {
  for (const char* spec : {"", "HKCU", "HKCU\\", "HKCU\\\\\\", "\\HKCU\\X", "HKCU \\X",
                           "HKXX\\X\\Y", "   ", "\xA0HKCU\\X"}) {
    SCOPED_TRACE(spec);
    const Split s = SplitOf(spec);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.root, 0u);
    EXPECT_EQ(s.path, "");
    EXPECT_EQ(s.name, "");
  }
}

TEST(LookupRootKey, NamesInAnyAsciiCase) {
  EXPECT_EQ(LookupRootKey("hku"), kHkeyUsers);
  EXPECT_EQ(LookupRootKey("HKey_Local_Machine"), kHkeyLocalMachine);
  EXPECT_EQ(LookupRootKey(""), 0u);
  EXPECT_EQ(LookupRootKey("HKU "), 0u);
  EXPECT_EQ(LookupRootKey("HKEY_USER"), 0u);
}

TEST(StripTrailingChar, RemovesOnlyTheTrailingRun) {
  EXPECT_EQ(StripTrailingChar('\\', "a\\b\\\\"), "a\\b");
  EXPECT_EQ(StripTrailingChar('\\', "\\\\"), "");
  EXPECT_EQ(StripTrailingChar('\\', "\\a"), "\\a");
}

class ResultLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.SetValue("Desktop", "Wallpaper", kRegSz, std::string("fond.bmp", 9));
    registry_.SetValue("a=b", "z", kRegSz, std::string("eq", 3));
  }

  std::string Spec(const std::string& name) const {
    return "HKCU\\" + registry_.KeyPath() + "\\" + name;
  }

  // The result line, or "<none>" when nothing is written.
  std::string Line(const std::string& keyLine, bool listMode, bool showName) const {
    TRunSettings settings;
    settings.ListMode = listMode;
    settings.ShowValueName = showName;
    std::string line;
    return ComposeResultLine(keyLine, settings, line) ? line : "<none>";
  }

  TestRegistry registry_;
};

TEST_F(ResultLineTest, LabelsAndValueNames) {
  const std::string spec = Spec("Desktop\\Wallpaper");
  EXPECT_EQ(Line(spec, false, false), "fond.bmp");
  EXPECT_EQ(Line("Fond=" + spec, false, false), "fond.bmp");
  EXPECT_EQ(Line(spec, false, true), "Wallpaper=fond.bmp");
  EXPECT_EQ(Line("Fond=" + spec, false, true), "Fond= fond.bmp");
  EXPECT_EQ(Line("Fond = " + spec, false, true), "Fond = fond.bmp");
  EXPECT_EQ(Line("=" + spec, false, true), "Wallpaper=fond.bmp");
  EXPECT_EQ(Line("hkcu\\" + registry_.KeyPath() + "\\DESKTOP\\wallpaper", false, true),
            "wallpaper=fond.bmp");
}

TEST_F(ResultLineTest, EqualsSignsBehindTheLabel) {
  // The first "=" ends the label, so the name is reachable only behind one.
  EXPECT_EQ(Line("HKCU\\" + registry_.KeyPath() + "\\a=b\\z", true, true),
            "HKCU\\" + registry_.KeyPath() + "\\a=b\\z");
  EXPECT_EQ(Line("=" + Spec("a=b\\z"), true, true), "z=eq");
}

TEST_F(ResultLineTest, MissingValues) {
  const std::string spec = Spec("Desktop\\Missing");
  EXPECT_EQ(Line(spec, false, false), "<none>");
  EXPECT_EQ(Line(spec, false, true), "Missing=");
  EXPECT_EQ(Line(spec, true, false), "");
  EXPECT_EQ(Line("Fond=" + spec, true, true), "Fond= ");
  EXPECT_EQ(Line(Spec("NoSuchKey\\Wallpaper"), true, true), "Wallpaper=");
}

TEST_F(ResultLineTest, LinesWithoutAKey) {
  for (const char* keyLine : {"", "plain text", "Titre=", " ;comment", "HKXX\\a\\b"}) {
    SCOPED_TRACE(keyLine);
    EXPECT_EQ(Line(keyLine, true, true), keyLine);
    EXPECT_EQ(Line(keyLine, false, true), "<none>");
  }
}

TEST_F(ResultLineTest, ConsoleLineComesFirstAndSilentSkipsIt) {
  TempDir dir;
  TRunSettings settings;
  settings.ListMode = true;
  {
    TTextStream console;
    TTextStream file;
    console.OpenAppend(dir.Path("console.txt"));
    file.OpenAppend(dir.Path("file.txt"));
    ProcessKeyLine(Spec("Desktop\\Wallpaper"), settings, console, file);
    ProcessKeyLine("", settings, console, file);
    settings.Silent = true;
    ProcessKeyLine("texte", settings, console, file);
    console.Close();
    file.Close();
  }
  EXPECT_EQ(dir.Read("console.txt"), "fond.bmp\r\n\r\n");
  EXPECT_EQ(dir.Read("file.txt"), "fond.bmp\r\n\r\ntexte\r\n");

  // A failed console write leaves the file line of that request unwritten.
  TTextStream closedConsole;
  TTextStream file;
  file.OpenAppend(dir.Path("file2.txt"));
  settings.Silent = false;
  EXPECT_THROW(ProcessKeyLine("texte", settings, closedConsole, file), EInOutError);
  file.Close();
  EXPECT_EQ(dir.Read("file2.txt"), "");
}

}  // namespace
