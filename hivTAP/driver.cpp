#include "hivTAP/driver.h"

#include <exception>

#include "Platform/file.h"
#include "Platform/registry.h"
#include "RunTime/exception.h"
#include "RunTime/text_stream.h"
#include "hivTAP/console_text.h"
#include "hivTAP/key_line.h"

TRunSettings RunSettings;

namespace {

// "hivTAP: le fichier spécifié n'existe pas"
const char kListFileMissing[] =
    "hivTAP: le fichier sp\xE9"
    "cifi\xE9 n'existe pas";
// "hivTAP: Erreur dans la création du fichier de sortie"
const char kOutputFailed[] =
    "hivTAP: Erreur dans la cr\xE9"
    "ation du fichier de sortie";
const char kDefaultOutputFile[] = "hivTAP.txt";

void ProcessListFile(TTextStream& console, TTextStream& outputFile) {
  if (!platform::FileExists(RunSettings.ListFileName)) {
    console.WriteLine(ConvertConsoleText(0, kListFileMissing));
    return;
  }
  TTextStream listFile;
  listFile.OpenRead(RunSettings.ListFileName);
  while (!listFile.AtEndOfText()) {
    const std::string line = listFile.ReadLine();
    if (!line.empty() && line[0] == ';') continue;
    ProcessKeyLine(line, RunSettings, console, outputFile);
  }
  listFile.Close();
}

// Returns normally when the output stage failed: that failure is reported
// here and gives the exit code.
void RunOutputStage(TTextStream& console) {
  try {
    TTextStream outputFile;
    outputFile.OpenAppend(RunSettings.OutputFileName);
    if (RunSettings.ListMode) {
      ProcessListFile(console, outputFile);
    } else {
      ProcessKeyLine(RunSettings.KeyArgument, RunSettings, console, outputFile);
    }
    outputFile.Close();
  } catch (const std::exception&) {
    RunSettings.FailureFlag = 1;
    console.WriteLine(ConvertConsoleText(0, kOutputFailed));
  }
}

}  // namespace

int RunProgram(const std::string& commandLine) {
  TTextStream input;
  TTextStream console;
  input.OpenStandard(platform::StdStream::kInput);
  console.OpenStandard(platform::StdStream::kOutput);
  if (ParseCommandLine(commandLine, RunSettings, console)) {
    // No output file is made when there is no registry to read.
    std::string problem;
    if (!platform::CheckRegistry(&problem)) throw Exception(problem);
    if (RunSettings.OutputFileName.empty()) RunSettings.OutputFileName = kDefaultOutputFile;
    RunOutputStage(console);
  }
  input.Close();
  console.Close();
  return RunSettings.FailureFlag;
}
