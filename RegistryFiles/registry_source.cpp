#include "RegistryFiles/registry_source.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <initializer_list>

#include "Platform/charset_posix.h"
#include "Platform/codepage.h"
#include "Platform/command_line.h"
#include "RegistryFiles/Hives/hive_file.h"
#include "RegistryFiles/Hives/hive_layout.h"
#include "RegistryFiles/Hives/hive_store.h"
#include "RegistryFiles/Hives/hive_tree.h"
#include "RegistryFiles/Wine/wine_prefix_store.h"
#include "RegistryFiles/unique_fd.h"

namespace platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsBlockDevice(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

bool HasFile(const std::string& dir, const std::string& name) {
  return IsFile(FindEntry(dir, name));
}

bool HasAnyFile(const std::string& dir, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (HasFile(dir, name)) return true;
  }
  return false;
}

// A hive's base block starts with "regf".
bool HasHiveSignature(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  char magic[4];
  return fd.get() >= 0 && read(fd.get(), magic, sizeof magic) == 4 &&
         std::string(magic, 4) == "regf";
}

std::string FileName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string DefaultFolder() {
  for (const char* var : {"HIVTAP_REGISTRY", "WINEPREFIX"}) {
    const char* value = std::getenv(var);
    if (value && *value) return value;
  }
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* pw = getpwuid(getuid());
    home = pw ? pw->pw_dir : "";
  }
  return std::string(home) + "/.wine";
}

// Only a drive has profiles to choose from; a choice made for nothing must
// not pass unseen. Empty when there is nothing to say.
std::string UserVariableWarning(const RegistrySource& source) {
  const char* user = std::getenv("HIVTAP_USER");
  if (!user || !*user || source.kind == SourceKind::kWindowsDrive ||
      source.kind == SourceKind::kDiskImage || source.kind == SourceKind::kNone) {
    return std::string();
  }
  // "HIVTAP_USER ne sert que sur un disque Windows, ignoré ici"
  return "hivTAP: HIVTAP_USER ne sert que sur un disque Windows, ignor\xE9"
         " ici : " +
         Utf8ToAnsi(user);
}

}  // namespace

// Windows' own spelling varies between installations.
std::string FindEntry(const std::string& dir, const std::string& name) {
  std::unique_ptr<DIR, DirCloser> d(opendir(dir.c_str()));
  if (!d) return std::string();
  const std::string wanted = UpperAnsi(name);
  while (const dirent* e = readdir(d.get())) {
    if (UpperAnsi(Utf8ToAnsi(e->d_name)) == wanted) return dir + "/" + e->d_name;
  }
  return std::string();
}

RegistrySource LocateRegistrySource() {
  RegistrySource source;
  source.folder = DefaultFolder();
  if (IsFile(source.folder) || IsBlockDevice(source.folder)) {
    source.exists = true;
    if (HasHiveSignature(source.folder)) {
      if (IsCollectedHiveName(FileName(source.folder))) source.kind = SourceKind::kHiveFile;
      return source;
    }
    // Anything else may be a disk image, whatever its name says.
    source.image = OpenDiskImage(source.folder);
    if (source.image.files) source.kind = SourceKind::kDiskImage;
    return source;
  }
  source.exists = IsDirectory(source.folder);
  if (!source.exists) return source;
  std::string path = FindEntry(source.folder, "Windows");
  for (const char* part : {"System32", "config"}) {
    if (!path.empty()) path = FindEntry(path, part);
  }
  if (HasAnyFile(source.folder, {"system.reg", "user.reg"})) {
    source.kind = SourceKind::kWinePrefix;
  } else if (!path.empty() && IsDirectory(path)) {
    source.kind = SourceKind::kWindowsDrive;
  } else {
    for (const char* name : kCollectedHiveNames) {
      if (HasFile(source.folder, name)) source.kind = SourceKind::kCollectedHives;
    }
  }
  return source;
}

std::string DescribeRegistrySource(const RegistrySource& source) {
  // "préfixe Wine", "ruches rassemblées"
  const char* kind = "aucun registre";
  switch (source.kind) {
    case SourceKind::kWinePrefix:
      kind =
          "pr\xE9"
          "fixe Wine";
      break;
    case SourceKind::kWindowsDrive:
      kind = "disque Windows";
      break;
    case SourceKind::kCollectedHives:
      kind =
          "ruches rassembl\xE9"
          "es";
      break;
    case SourceKind::kHiveFile:
      kind = "fichier de ruche";
      break;
    case SourceKind::kDiskImage:  // described below
    case SourceKind::kNone:
      break;
  }
  if (source.kind == SourceKind::kDiskImage) {
    std::string text = "registre : " + Utf8ToAnsi(source.folder) + " (image disque " +
                       source.image.format + ")\nvolume Windows : " + source.image.volume + "\n";
    for (const std::string& warning : source.image.warnings) text += warning + "\n";
    for (const std::string& line : HiveTree("/", true, source.image.files).Describe()) {
      text += line + "\n";
    }
    return text;
  }
  std::string text = "registre : " + Utf8ToAnsi(source.folder) + " (" + kind + ")\n";
  if (source.kind != SourceKind::kNone && source.kind != SourceKind::kWinePrefix) {
    for (const std::string& line :
         HiveTree(source.folder, source.kind == SourceKind::kWindowsDrive).Describe()) {
      text += line + "\n";
    }
  }
  const std::string warning = UserVariableWarning(source);
  return warning.empty() ? text : text + warning + "\n";
}

std::string MissingRegistryMessage(const RegistrySource& source) {
  const std::string folder = Utf8ToAnsi(source.folder);
  // "le dossier du registre n'existe pas", "aucun fichier de registre dans"
  if (!source.exists) return "hivTAP: le dossier du registre n'existe pas : " + folder;
  // What was read as an image says why; the file may have changed since.
  if (!source.image.missing.empty() && !IsCollectedHiveName(FileName(source.folder))) {
    return source.image.missing;
  }
  if (IsFile(source.folder) || IsBlockDevice(source.folder)) {
    // A hive's name says what was meant; any other file was read as an image.
    if (!HasHiveSignature(source.folder)) {
      // A file rewritten since it was read as a hive: no image to tell of.
      if (!IsCollectedHiveName(FileName(source.folder)))
        return "hivTAP: fichier modifi\xE9 pendant la lecture : " + folder;
      return "hivTAP: ce fichier n'est pas une ruche : " + folder;
    }
    std::string names;
    for (const char* name : kCollectedHiveNames)
      names += std::string(names.empty() ? "" : ", ") + name;
    return "hivTAP: nom de ruche inconnu : " + folder + " (attendu : " + names + ")";
  }
  return "hivTAP: aucun fichier de registre dans le dossier " + folder;
}

std::unique_ptr<RegistryStore> CreateRegistryStore(const RegistrySource& source) {
  const std::string warning = UserVariableWarning(source);
  if (!warning.empty()) WriteErrorLine(warning);
  switch (source.kind) {
    case SourceKind::kWinePrefix:
      return std::make_unique<WinePrefixStore>(source.folder);
    case SourceKind::kWindowsDrive:
    case SourceKind::kCollectedHives:
    case SourceKind::kHiveFile:
      return std::make_unique<HiveStore>(source.folder, source.kind == SourceKind::kWindowsDrive);
    case SourceKind::kDiskImage:
      for (const std::string& warning : source.image.warnings) WriteErrorLine(warning);
      return std::make_unique<HiveStore>("/", true, source.image.files);
    default:
      return nullptr;
  }
}

namespace {

// The source the store was made from. Its problem is told from what was
// read then: located again, an image rewritten while it was opened could
// open well the second time and leave nothing to say.
std::unique_ptr<RegistrySource>& DefaultSource() {
  static std::unique_ptr<RegistrySource> source;
  return source;
}

}  // namespace

std::unique_ptr<RegistryStore> CreateDefaultRegistryStore() {
  DefaultSource() = std::make_unique<RegistrySource>(LocateRegistrySource());
  return CreateRegistryStore(*DefaultSource());
}

std::string DefaultRegistryProblem() {
  if (!DefaultSource()) return MissingRegistryMessage(LocateRegistrySource());
  return MissingRegistryMessage(*DefaultSource());
}

std::string DescribeDefaultRegistry() { return DescribeRegistrySource(LocateRegistrySource()); }

}  // namespace platform
