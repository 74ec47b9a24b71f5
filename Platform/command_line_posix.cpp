// The shell hands the arguments already split. The raw command line is
// rebuilt so that splitting it again gives each argument as it would come
// out of a Windows command line: quotes removed, empty ones skipped.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "Platform/charset_posix.h"
#include "Platform/codepage.h"
#include "Platform/command_line.h"
#include "Platform/file.h"
#include "Platform/registry_store.h"

namespace platform {
namespace {

std::vector<std::string>& Arguments() {
  static std::vector<std::string> args;
  return args;
}

bool HasSeparator(const std::string& s) {
  for (const char c : s) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b >= 0x01 && b <= 0x20) return true;
  }
  return false;
}

// /N, /S, /? and /L:..., in any letter case, as the tool recognises them.
bool IsToolOption(const std::string& arg) {
  std::string upper = arg;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper == "/N" || upper == "/S" || upper == "/?" || upper.compare(0, 3, "/L:") == 0;
}

// An argument beginning with "/" that can only be a path: a separator, "/"
// or "\\", follows its first segment. Single segments such as "/X" or
// "//x.txt", and glued options such as "/n/s", stay options, as on Windows.
bool IsPathArgument(const std::string& arg) {
  if (arg.empty() || arg[0] != '/' || IsToolOption(arg)) return false;
  std::string path = arg;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  const std::size_t start = path.find_first_not_of('/');
  if (start == std::string::npos || path.find('/', start) == std::string::npos) return false;
  for (std::size_t at = start; at < path.size();) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(at, end - at);
    if (!segment.empty() && !IsToolOption("/" + segment)) return true;
    at = end + 1;
  }
  return false;
}

bool IsHelpOption(const std::string& arg) { return arg == "--help" || arg == "-h"; }

// Writes `ansi` and a line end to standard error, in the terminal's charset.
void Complain(const std::string& ansi) {
  const std::string line = AnsiToLocale(ansi) + ConsoleLineEnd();
  File::Standard(StdStream::kError).Write(line.data(), line.size());
}

// The name "-" stands for: standard output, kept apart from the console.
std::string& DashFileName() {
  static std::string name;
  return name;
}

// With "-" as the output name, standard output carries the output file's
// bytes alone: the file writes to a copy of it, and what the tool shows on
// its console goes to standard error.
void RouteDashToStandardOutput() {
  const int copy = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  DashFileName() = "/dev/fd/" + std::to_string(copy < 0 ? STDOUT_FILENO : copy);
  if (copy >= 0 && dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0 && null != STDOUT_FILENO) {
      dup2(null, STDOUT_FILENO);
      close(null);
    }
  }
}

}  // namespace

void InitProcess(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  // A closed pipe or a file-size limit must fail the write, not kill the
  // process: the output file is then cut back to its last complete line.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  Arguments().assign(argv, argv + argc);
  for (int i = 1; i < argc; ++i) {
    if (Arguments()[i] == "-") {
      RouteDashToStandardOutput();
      break;
    }
  }
}

std::string RawCommandLine() {
  std::string line;
  bool first = true;
  for (const std::string& raw : Arguments()) {
    std::string unquoted;
    for (const char c : raw) {
      if (c != '"') unquoted += c;
    }
    std::string arg = Utf8ToAnsi(unquoted);
    if (!first && IsHelpOption(unquoted)) {
      arg = "/?";
    } else if (!first && unquoted == "-" && !DashFileName().empty()) {
      // Nothing but the file's bytes on standard output: as /S and a name.
      line += " /S";
      arg = DashFileName();
      for (char& c : arg) {
        if (c == '/') c = '\\';
      }
    } else if (!first && IsPathArgument(unquoted)) {
      // Its Windows spelling is a positional argument; the file layer maps
      // the backslashes back.
      for (char& c : arg) {
        if (c == '/') c = '\\';
      }
    }
    if (arg.empty()) {
      if (!first) continue;
      arg = "hivtap";  // the program's name is never empty
    }
    if (!first) line += ' ';
    line += first || HasSeparator(arg) ? "\"" + arg + "\"" : arg;
    first = false;
  }
  return line;
}

bool RunPlatformOptions(std::string* output, std::string* error) {
  const std::vector<std::string>& args = Arguments();
  bool version = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    version = version || args[i] == "--version";
    // A typo such as --hlep would otherwise pass for a file name.
    if (args[i].compare(0, 2, "--") == 0 && args[i] != "--version" && !IsHelpOption(args[i])) {
      *error = "hivTAP: option inconnue : " + Utf8ToAnsi(args[i]) + " (voir hivtap --help)";
      return true;
    }
  }
  if (!version) return false;
  *output = "hivtap " HIVTAP_VERSION "\n" + DescribeDefaultRegistry();
  return true;
}

std::vector<std::string> HelpAddendum() {
  const std::vector<std::string>& args = Arguments();
  bool asked = false;
  for (std::size_t i = 1; i < args.size(); ++i) asked = asked || IsHelpOption(args[i]);
  if (!asked) return {};
  return {
      " ",
      "Sous Linux, le Registre lu est celui d'un dossier :",
      "  HIVTAP_REGISTRY : pr\xE9"
      "fixe Wine, lecteur Windows, dossier ou fichier de ruches,",
      "                    image disque ou p\xE9"
      "riph\xE9rique",
      "  HIVTAP_VOLUME   : volume Windows de l'image (partition, ou @octet)",
      "  WINEPREFIX      : pr\xE9"
      "fixe Wine, sans HIVTAP_REGISTRY (d\xE9"
      "faut : ~/.wine)",
      "  HIVTAP_USER     : profil lu pour HKCU (nom de dossier ou SID)",
      "  --version       : version et source du Registre qui serait lue",
      "  /L:             : liste en UTF-8 ou Windows-1252, ou marqu\xE9"
      "e UTF-8 ou UTF-16",
      "  filename -      : le fichier de sortie sur la sortie standard, seul",
      "  /W              : * et ? dans la cl\xE9 et le nom sont des motifs, ** toute",
      "                    profondeur de cl\xE9s ; une ligne finie par \\ liste des cl\xE9s ;",
      "                    %XX est un octet, @ la valeur par d\xE9"
      "faut",
      "  /T              : heure de derni\xE8re \xE9"
      "criture de la cl\xE9 en t\xEAte de ligne (UTC)",
      "  /F:json, /F:csv : un enregistrement UTF-8 par r\xE9sultat, dans le fichier",
      "                    seul : noms exacts, tous les octets, heures",
      // "avec /W, ajoute ce que les ruches gardent de supprimé", "parent perdu",
      // "données réutilisées"
      "  /D              : avec /W, ajoute ce que les ruches gardent de supprim\xE9,",
      "                    en %!CHEMIN (%? : parent perdu, %~ : donn\xE9"
      "es r\xE9utilis\xE9"
      "es)",
  };
}

void NoteMissingListFile() {
  std::string name;
  for (const std::string& arg : Arguments()) {
    if (arg.size() > 3 && arg[0] == '/' && (arg[1] == 'L' || arg[1] == 'l') && arg[2] == ':') {
      name = arg.substr(3);
    }
  }
  Complain("hivTAP: fichier de liste introuvable : " + Utf8ToAnsi(name));
}

void NoteUnknownKey(const std::string& ansiKey) {
  // "clé non reconnue", "racines"
  Complain("hivTAP: cl\xE9 non reconnue : " + ansiKey +
           " (racines : HKLM, HKCU, HKCR, HKU, HKCC, HKPD, HKDD ou HKEY_..., suivies de \\)");
}

bool NoteListWithoutColon() {
  const std::vector<std::string>& args = Arguments();
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "/L" || args[i] == "/l") {
      // "option /L sans deux-points : une liste se donne par /L:FICHIER"
      Complain("hivTAP: option /L sans deux-points : une liste se donne par /L:FICHIER");
      return true;
    }
  }
  return false;
}

void NoteFileFailure(const std::string& ansiName, const std::string& reason) {
  // Named as the file layer took it: its backslashes separate components.
  std::string name = ansiName;
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  if (!DashFileName().empty() && name == DashFileName()) name = "- (sortie standard)";
  // The list file's name reaches the tool upper-cased: named as given.
  for (const std::string& arg : Arguments()) {
    if (arg.size() > 3 && arg[0] == '/' && (arg[1] == 'L' || arg[1] == 'l') && arg[2] == ':' &&
        UpperAnsi(Utf8ToAnsi(arg.substr(3))) == ansiName) {
      name = Utf8ToAnsi(arg.substr(3));
    }
  }
  Complain("hivTAP: fichier " + name + (reason.empty() ? "" : " : " + reason));
}

void WriteErrorLine(const std::string& ansi) { Complain(ansi); }

void ExitProcess(int code) { std::exit(code); }

}  // namespace platform
