#include "hivTAP/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "RunTime/text_stream.h"
#include "tests/temp_dir.h"

namespace {

std::vector<std::string> Split(const std::string& commandLine) {
  std::vector<std::string> args;
  const int count = ArgumentCount(commandLine);
  for (int i = 1; i <= count; ++i) args.push_back(ArgumentAt(commandLine, i));
  return args;
}

using Args = std::vector<std::string>;

TEST(CommandLineSplit, QuotesAndSeparators) {
  EXPECT_EQ(Split("hivtap.exe"), Args());
  EXPECT_EQ(Split("hivtap.exe \"\""), Args());
  EXPECT_EQ(Split("\"C:\\Program Files\\hivtap.exe\" a"), Args({"a"}));
  EXPECT_EQ(Split("hivtap \"HKCU\\Control Panel\\Desktop\\Wallpaper\""),
            Args({"HKCU\\Control Panel\\Desktop\\Wallpaper"}));
  EXPECT_EQ(Split("hivtap ab\"c d\"e"), Args({"abc de"}));
  EXPECT_EQ(Split("hivtap \"C:\\dir\\\" x"), Args({"C:\\dir\\", "x"}));
  EXPECT_EQ(Split("hivtap \"abc"), Args({"abc"}));
  EXPECT_EQ(Split("hivtap\ta\x01"
                  "b  \"\" \"\"c"),
            Args({"a", "b", "c"}));
  EXPECT_EQ(Split("hivtap a\"\"b"), Args({"ab"}));
}

TEST(CommandLineSplit, ArgumentAtPastTheEndIsEmpty) {
  EXPECT_EQ(ArgumentAt("hivtap a b", 3), "");
  EXPECT_EQ(ArgumentAt("hivtap a b", 0), "hivtap");
}

struct Parsed {
  bool go;
  TRunSettings settings;
  std::string console;
};

Parsed Parse(const std::string& arguments) {
  TempDir dir;
  Parsed parsed;
  {
    TTextStream console;
    console.OpenAppend(dir.Path("console.txt"));
    parsed.go = ParseCommandLine("hivtap.exe " + arguments, parsed.settings, console);
    console.Close();
  }
  parsed.console = dir.Read("console.txt");
  return parsed;
}

TEST(ParseCommandLine, HelpIsWantedAfterTheWholeScan) {
  for (const char* args : {"", "\"\"", "HKCU\\X\\Y ?", "/?", "/N /?", "/n /s /l:x.txt ? out"}) {
    SCOPED_TRACE(args);
    const Parsed p = Parse(args);
    EXPECT_FALSE(p.go);
    EXPECT_TRUE(p.settings.HelpRequested);
    EXPECT_EQ(std::count(p.console.begin(), p.console.end(), '\n'), 16);
  }
}

TEST(ParseCommandLine, PositionalArguments) {
  Parsed p = Parse("HKCU\\Software\\x out.txt extra");
  EXPECT_TRUE(p.go);
  EXPECT_EQ(p.console, "");
  EXPECT_EQ(p.settings.KeyArgument, "HKCU\\Software\\x");
  EXPECT_EQ(p.settings.OutputFileName, "out.txt");
  EXPECT_FALSE(p.settings.ListMode);

  p = Parse("/l:keys.txt result.txt");
  EXPECT_TRUE(p.settings.ListMode);
  EXPECT_EQ(p.settings.ListFileName, "KEYS.TXT");
  EXPECT_EQ(p.settings.KeyArgument, "");
  EXPECT_EQ(p.settings.OutputFileName, "result.txt");

  p = Parse("result.txt /l:keys.txt");
  EXPECT_EQ(p.settings.KeyArgument, "result.txt");
  EXPECT_EQ(p.settings.OutputFileName, "");

  p = Parse("/l:a.lst /L:b.lst");
  EXPECT_EQ(p.settings.ListFileName, "B.LST");
}

TEST(ParseCommandLine, TwoHundredThousandArguments) {
  // As a shell glob passes them; each one is scanned, in order.
  std::string args = "/l:first.lst key.txt out.txt";
  for (int i = 0; i < 200000; ++i) args += " f" + std::to_string(i);
  const Parsed p = Parse(args + " /N /l:last.lst");
  EXPECT_TRUE(p.go);
  EXPECT_TRUE(p.settings.ShowValueName);
  EXPECT_EQ(p.settings.ListFileName, "LAST.LST");
  EXPECT_EQ(p.settings.KeyArgument, "");
  EXPECT_EQ(p.settings.OutputFileName, "key.txt");
}

TEST(ParseCommandLine, OptionsInAnyCaseAndUnknownOnesIgnored) {
  Parsed p = Parse("/n /s HKCU\\a\\b");
  EXPECT_TRUE(p.settings.ShowValueName);
  EXPECT_TRUE(p.settings.Silent);
  EXPECT_EQ(p.settings.KeyArgument, "HKCU\\a\\b");

  for (const char* args : {"/L:", "/X", "/LIST", "/NN", "/", "/X:Y"}) {
    SCOPED_TRACE(args);
    p = Parse(args);
    EXPECT_TRUE(p.go);
    EXPECT_FALSE(p.settings.ListMode);
    EXPECT_FALSE(p.settings.ShowValueName);
    EXPECT_FALSE(p.settings.Silent);
    EXPECT_EQ(p.settings.KeyArgument, "");
    EXPECT_EQ(p.console, "");
  }
}

TEST(ParseCommandLine, WildcardOption) {
  for (const char* args : {"/W HKCU\\*\\x", "/w HKCU\\*\\x", "HKCU\\*\\x /W"}) {
    SCOPED_TRACE(args);
    const Parsed p = Parse(args);
    EXPECT_TRUE(p.go);
    EXPECT_TRUE(p.settings.Wildcards);
    EXPECT_EQ(p.settings.KeyArgument, "HKCU\\*\\x");
  }
  for (const char* args : {"/WW x", "/W:x x", "x"}) {
    SCOPED_TRACE(args);
    EXPECT_FALSE(Parse(args).settings.Wildcards);
  }
  // The help screen does not name it: the same 16 lines.
  const Parsed help = Parse("/W /?");
  EXPECT_EQ(help.console, Parse("/?").console);
}

}  // namespace
