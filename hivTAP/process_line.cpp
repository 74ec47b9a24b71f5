#include "hivTAP/process_line.h"

#include "RunTime/text_stream.h"
#include "hivTAP/console_text.h"
#include "hivTAP/export_line.h"
#include "hivTAP/key_line.h"
#include "hivTAP/pattern_line.h"

void ProcessKeyLine(const std::string& keyLine, const TRunSettings& settings, TTextStream& console,
                    TTextStream& outputFile) {
  if (settings.Export != TExportFormat::efText) {
    ProcessExportLine(keyLine, settings, console, outputFile);
    return;
  }
  if (settings.Wildcards && ProcessPatternLine(keyLine, settings, console, outputFile)) return;
  std::string resultLine;
  if (!ComposeResultLine(keyLine, settings, resultLine)) return;
  if (!settings.Silent) console.WriteLine(ConvertConsoleText(0, resultLine));
  outputFile.WriteLine(resultLine);
}
