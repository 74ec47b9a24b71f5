#include "hivTAP/driver.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "Base/exception.h"
#include "Platform/codepage.h"
#include "Platform/command_line.h"
#include "Platform/file.h"
#include "Platform/registry.h"
#include "RunTime/text_stream.h"
#include "hivTAP/console_text.h"
#include "hivTAP/export_line.h"
#include "hivTAP/key_line.h"
#include "hivTAP/process_line.h"

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
// "hivTAP: seuls les fichiers de ruche gardent des enregistrements supprimés,
// /D est ignoré"
const char kNoDeletedRecords[] =
    "hivTAP: seuls les fichiers de ruche gardent des enregistrements supprim\xE9s, /D est "
    "ignor\xE9";

// A key line names a key path of at most 32,767 characters (the longest
// name the registry takes) and a value name of at most 16,383: 49,172
// bytes with the root. The rest up to 64 KiB leaves room for a label.
constexpr std::size_t kMaxKeyLine = 64 * 1024;

// A list file's text in the ANSI code page, as the registry calls take it.
std::string AnsiText(const TTextStream& listFile, const std::string& text) {
  return listFile.Utf8Marked() ? platform::Utf8TextToAnsi(text) : platform::FileTextToAnsi(text);
}

// A line too long to name a key, whose first `head` bytes are read: it is
// invalid, so it is copied through (or skipped, as a comment) piece by
// piece, never held whole.
void CopyLongLine(std::string head, TTextStream& listFile, TTextStream& console,
                  TTextStream& outputFile) {
  const bool comment = head[0] == ';';
  if (RunSettings.Export != TExportFormat::efText) {
    // A record holds the line's head; the rest is passed over.
    std::string rest;
    while (!listFile.ReadLinePart(rest, kMaxKeyLine)) rest.clear();
    if (!comment) ExportNoKeyLine(AnsiText(listFile, head), RunSettings, outputFile);
    return;
  }
  for (bool ended = false; !ended;) {
    if (!comment) {
      head = AnsiText(listFile, head);
      if (!RunSettings.Silent) console.Write(ConvertConsoleText(0, head));
      outputFile.Write(head);
    }
    head.clear();
    ended = listFile.ReadLinePart(head, kMaxKeyLine);
  }
  if (comment) return;
  head = AnsiText(listFile, head);
  if (!RunSettings.Silent) console.WriteLine(ConvertConsoleText(0, head));
  outputFile.WriteLine(head);
}

void ProcessListFile(TTextStream& console, TTextStream& outputFile) {
  if (!platform::FileExists(RunSettings.ListFileName)) {
    console.WriteLine(ConvertConsoleText(0, kListFileMissing));
    // The platform's note follows the message, also where both share a stream.
    console.Flush();
    platform::NoteMissingListFile();
    return;
  }
  TTextStream listFile;
  listFile.OpenRead(RunSettings.ListFileName);
  while (!listFile.AtEndOfText()) {
    std::string line;
    if (!listFile.ReadLinePart(line, kMaxKeyLine)) {
      CopyLongLine(std::move(line), listFile, console, outputFile);
      continue;
    }
    if (!line.empty() && line[0] == ';') continue;
    ProcessKeyLine(AnsiText(listFile, line), RunSettings, console, outputFile);
  }
  listFile.Close();
}

// Whether a key line names a root, as reading it needs: its key path split
// as the reading splits it.
bool NamesRoot(const std::string& keyLine) {
  std::string parts[4];  // label, key path, subkey path, value name
  std::uint32_t root = 0;
  SplitLabel(keyLine, parts[0], parts[1]);
  return SplitKeySpec(parts[1], root, parts[2], parts[3]);
}

// The platform's notes on a key argument that reads nothing, after what the
// console shows, also where both share a stream.
void NoteKeyArgument(TTextStream& console) {
  console.Flush();
  if (platform::NoteListWithoutColon()) return;
  if (!RunSettings.KeyArgument.empty() && !NamesRoot(RunSettings.KeyArgument)) {
    platform::NoteUnknownKey(RunSettings.KeyArgument);
  }
}

// Returns normally when the output stage failed: that failure is reported
// here and gives the exit code.
void RunOutputStage(TTextStream& console) {
  try {
    TTextStream outputFile;
    outputFile.OpenAppend(RunSettings.OutputFileName);
    StartExportFile(RunSettings, outputFile);
    if (RunSettings.ListMode) {
      ProcessListFile(console, outputFile);
    } else {
      ProcessKeyLine(RunSettings.KeyArgument, RunSettings, console, outputFile);
      NoteKeyArgument(console);
    }
    outputFile.Close();
  } catch (const std::exception& failure) {
    RunSettings.FailureFlag = 1;
    console.WriteLine(ConvertConsoleText(0, kOutputFailed));
    if (const auto* io = dynamic_cast<const EInOutError*>(&failure)) {
      console.Flush();
      platform::NoteFileFailure(io->FileName(), io->Reason());
    }
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
    // A Wine prefix, or Windows' own registry, keeps no unallocated cells.
    if (RunSettings.Deleted && !platform::HoldsDeletedRecords()) {
      console.WriteLine(ConvertConsoleText(0, kNoDeletedRecords));
      RunSettings.Deleted = false;
    }
    if (RunSettings.OutputFileName.empty()) RunSettings.OutputFileName = kDefaultOutputFile;
    RunOutputStage(console);
  }
  input.Close();
  console.Close();
  return RunSettings.FailureFlag;
}
