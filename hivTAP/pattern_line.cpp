#include "hivTAP/pattern_line.h"

#include <cstdint>

#include "MyRegCtrl/reg_ctrl.h"
#include "Platform/command_line.h"
#include "RunTime/text_stream.h"
#include "hivTAP/console_text.h"
#include "hivTAP/key_line.h"
#include "hivTAP/wildcard_match.h"
#include "hivTAP/wildcard_walk.h"

namespace {

void WriteResult(const std::string& line, const TRunSettings& settings, TTextStream& console,
                 TTextStream& outputFile) {
  // As for one value: an empty line only in a list, where every line answers.
  if (!settings.ListMode && line.empty()) return;
  if (!settings.Silent) console.WriteLine(ConvertConsoleText(0, line));
  outputFile.WriteLine(line);
}

// "hivTAP: plus de N valeurs, liste arrêtée à N"
void ReportCap(std::size_t cap, TTextStream& console) {
  const std::string count = std::to_string(cap);
  const std::string text = "hivTAP: plus de " + count +
                           " valeurs, liste arr\xEAt\xE9"
                           "e \xE0 " +
                           count;
  console.WriteLine(ConvertConsoleText(0, text));
  platform::WriteErrorLine(text);
}

}  // namespace

bool ProcessPatternLine(const std::string& keyLine, const TRunSettings& settings,
                        TTextStream& console, TTextStream& outputFile) {
  std::string label;
  std::string keySpec;
  SplitLabel(keyLine, label, keySpec);
  std::uint32_t root = 0;
  std::string subKeyPath;
  std::string valueName;
  if (keySpec.empty() || !SplitKeySpec(keySpec, root, subKeyPath, valueName)) return false;
  if (!HasWildcard(subKeyPath) && !HasWildcard(valueName)) return false;
  const std::string head = label.empty() ? std::string() : label + "= ";
  bool complete = true;
  const std::size_t found = WalkPattern(
      root, subKeyPath, valueName, settings.PatternCap,
      [&](const std::string& keyPath, const std::string& name, const std::string& shown) {
        const std::string text = ReadValueAsText(root, keyPath, name, std::string());
        WriteResult(settings.ShowValueName ? head + shown + "=" + text : text, settings, console,
                    outputFile);
      },
      &complete);
  if (!complete) ReportCap(settings.PatternCap, console);
  if (found > 0) return true;
  // What a missing value writes, the pattern standing as its name.
  std::string line;
  if (settings.ShowValueName) line = label.empty() ? valueName + "=" : head;
  WriteResult(line, settings, console, outputFile);
  return true;
}
