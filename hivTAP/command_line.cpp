#include "hivTAP/command_line.h"

#include <utility>
#include <vector>

#include "Platform/codepage.h"
#include "Platform/command_line.h"
#include "RunTime/text_stream.h"
#include "hivTAP/console_text.h"

namespace {

bool IsSeparator(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b >= 0x01 && b <= 0x20;
}

// The byte at `pos`, or NUL past the end, as in a NUL-terminated string.
char At(const std::string& text, std::size_t pos) { return pos < text.size() ? text[pos] : '\0'; }

const char kVersion[] = "1.2.0.0";

const char* const kUsageLines[] = {
    "Lit une cl\xE9 du Registre et cr\xE9"
    "e un fichier ANSI du r\xE9sultat",
    " ",
    "Syntaxe    : hivtap [HKEY] [/L:listkeys] [/N] [/S] [filename]",
    " ",
    "  HKEY     : cl\xE9 et nom de variable (format : HKEY\\SUBKEY\\NAME)",
    "             NB : ignor\xE9 si param\xE8tre /L:listkeys utilis\xE9",
    "  /L:      : listkeys = nom d'un fichier contenant les cl\xE9s \xE0 lire",
    "             NB : format identique \xE0 HKEY - Une cl\xE9 par ligne",
    "  /N       : affiche le nom de variable dans le r\xE9sultat",
    "  /S       : ignore l'affichage \xE9"
    "cran (= redirection ANSI)",
    "  filename : nom du fichier \xE0 cr\xE9"
    "er (d\xE9"
    "faut : hivTAP.txt)",
    "             NB : si le fichier existe d\xE9j\xE0, le r\xE9sultat est ajout\xE9",
    " ",
    "  Exemples : hivtap \"HKCU\\Control Panel\\Desktop\\Wallpaper\"",
    "             hivtap /l:hivtap_winversion.txt /n /s result.txt",
};

}  // namespace

std::string NextArgument(const std::string& commandLine, std::size_t& pos) {
  // Separators and empty pairs of quotes before the argument are skipped.
  for (;;) {
    while (IsSeparator(At(commandLine, pos))) pos = platform::NextCharPos(commandLine, pos);
    if (At(commandLine, pos) == '"' && At(commandLine, pos + 1) == '"') {
      pos += 2;
      continue;
    }
    break;
  }
  std::string argument;
  while (static_cast<unsigned char>(At(commandLine, pos)) > 0x20) {
    if (At(commandLine, pos) == '"') {
      ++pos;
      while (pos < commandLine.size() && commandLine[pos] != '"') {
        const std::size_t next = platform::NextCharPos(commandLine, pos);
        argument.append(commandLine, pos, next - pos);
        pos = next;
      }
      if (At(commandLine, pos) == '"') ++pos;
    } else {
      const std::size_t next = platform::NextCharPos(commandLine, pos);
      argument.append(commandLine, pos, next - pos);
      pos = next;
    }
  }
  return argument;
}

int ArgumentCount(const std::string& commandLine) {
  std::size_t pos = 0;
  NextArgument(commandLine, pos);
  int count = 0;
  while (!NextArgument(commandLine, pos).empty()) ++count;
  return count;
}

std::string ArgumentAt(const std::string& commandLine, int index) {
  std::size_t pos = 0;
  std::string argument = NextArgument(commandLine, pos);
  for (int i = 1; i <= index; ++i) {
    argument = NextArgument(commandLine, pos);
    if (argument.empty()) break;
  }
  return argument;
}

bool ParseCommandLine(const std::string& commandLine, TRunSettings& settings,
                      TTextStream& console) {
  // The arguments ArgumentAt would give, split in one pass: a shell glob can
  // pass hundreds of thousands, and walking from the start for each one
  // would take time growing with their square.
  std::vector<std::string> arguments;
  std::size_t pos = 0;
  NextArgument(commandLine, pos);
  for (std::string a = NextArgument(commandLine, pos); !a.empty();
       a = NextArgument(commandLine, pos)) {
    arguments.push_back(std::move(a));
  }
  if (arguments.empty()) settings.HelpRequested = true;
  for (const std::string& argument : arguments) {
    const std::string upper = platform::UpperAnsi(argument);
    if (upper == "?") settings.HelpRequested = true;
    if (!upper.empty() && upper[0] == '/') {
      if (upper.size() == 2) {
        if (upper[1] == '?') settings.HelpRequested = true;
        if (upper[1] == 'N') settings.ShowValueName = true;
        if (upper[1] == 'S') settings.Silent = true;
        if (upper[1] == 'W') settings.Wildcards = true;
        if (upper[1] == 'T') settings.KeyTimes = true;
        if (upper[1] == 'D') settings.Deleted = true;
      } else if (upper == "/F:JSON") {
        settings.Export = TExportFormat::efJson;
      } else if (upper == "/F:CSV") {
        settings.Export = TExportFormat::efCsv;
      } else if (upper.size() > 3 && upper[1] == 'L' && upper[2] == ':') {
        settings.ListMode = true;
        settings.ListFileName = upper.substr(3);
      }
    } else if (settings.KeyArgument.empty() && settings.ListFileName.empty()) {
      settings.KeyArgument = argument;
    } else if (settings.OutputFileName.empty()) {
      settings.OutputFileName = argument;
    }
  }
  if (!settings.HelpRequested) return true;
  ShowUsage(console);
  return false;
}

void ShowUsage(TTextStream& console) {
  // The program's name, hivTAP, in capitals.
  const std::string banner =
      std::string("HIVTAP ") + kVersion + " - Copyright (c) 2026 les d\xE9veloppeurs de hivtap";
  console.WriteLine(ConvertConsoleText(0, banner));
  for (const char* line : kUsageLines) {
    // The lines of one blank are written as they are.
    const std::string text = line;
    console.WriteLine(text == " " ? text : ConvertConsoleText(0, text));
  }
  for (const std::string& text : platform::HelpAddendum()) {
    console.WriteLine(text == " " ? text : ConvertConsoleText(0, text));
  }
}
