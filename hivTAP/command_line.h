// Splitting a raw Windows command line into arguments, and scanning them
// into the program's settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TTextStream;

// The output file's form: text lines, or records (/F:json, /F:csv).
enum class TExportFormat : std::uint8_t { efText, efJson, efCsv };

struct TRunSettings {
  bool ListMode = false;
  std::string ListFileName;
  bool ShowValueName = false;
  bool Silent = false;
  // /W: `*` and `?` in key lines are patterns.
  bool Wildcards = false;
  // /T: each result line starts with its key's last-write time.
  bool KeyTimes = false;
  // /D: walks also report records recovered from hive files.
  bool Deleted = false;
  TExportFormat Export = TExportFormat::efText;
  // The most lines one pattern's key line writes; tests lower it.
  std::size_t PatternCap = 1000000;
  bool HelpRequested = false;
  std::int32_t FailureFlag = 0;
  std::string KeyArgument;
  std::string OutputFileName;
};

// The argument starting at `pos` (quotes removed) and, in `pos`, where it
// ends. Empty only at the end of the text.
std::string NextArgument(const std::string& commandLine, std::size_t& pos);
// The number of arguments after the program's name.
int ArgumentCount(const std::string& commandLine);
// Argument `index`, counted from 1 after the program's name; empty past
// the last one.
std::string ArgumentAt(const std::string& commandLine, int index);

// Fills `settings` from the arguments. When the help screen is wanted it
// writes it to `console` and returns false.
bool ParseCommandLine(const std::string& commandLine, TRunSettings& settings, TTextStream& console);
void ShowUsage(TTextStream& console);
