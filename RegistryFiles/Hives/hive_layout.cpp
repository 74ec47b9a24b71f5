#include "RegistryFiles/Hives/hive_layout.h"

#include <algorithm>
#include <iterator>

#include "Platform/codepage.h"
#include "RegistryFiles/registry_source.h"

namespace platform {
namespace {

// Each part of `relative` ('/'-separated, ANSI) found in any letter case.
std::string Locate(const DriveFiles& files, const std::string& root, const std::string& relative) {
  std::string path = root;
  std::size_t i = 0;
  while (i < relative.size() && !path.empty()) {
    std::size_t j = relative.find('/', i);
    if (j == std::string::npos) j = relative.size();
    if (j > i) path = files.Find(path, relative.substr(i, j - i));
    i = j + 1;
  }
  return path;
}

std::string LocateFile(const DriveFiles& files, const std::string& root,
                       const std::string& relative) {
  const std::string path = Locate(files, root, relative);
  return files.IsFile(path) ? path : std::string();
}

bool StartsWithNoCase(const U16& s, const char16_t* prefix, std::size_t* length) {
  U16 p(prefix);
  if (s.size() < p.size() || FoldCase(s.substr(0, p.size())) != FoldCase(p)) return false;
  *length = p.size();
  return true;
}

// The field that holds the collected hive named `fileName`; null for none.
std::string* CollectedSlot(HiveLayout* layout, const std::string& fileName) {
  std::string* slots[] = {&layout->system,   &layout->software,    &layout->sam,
                          &layout->security, &layout->defaultUser, &layout->ntuser,
                          &layout->classes};
  const std::string wanted = UpperAnsi(Utf8ToAnsi(fileName));
  for (std::size_t i = 0; i < std::size(slots); ++i) {
    if (UpperAnsi(kCollectedHiveNames[i]) == wanted) return slots[i];
  }
  return nullptr;
}

}  // namespace

const char* const kCollectedHiveNames[7] = {"SYSTEM",  "SOFTWARE",   "SAM",         "SECURITY",
                                            "DEFAULT", "NTUSER.DAT", "UsrClass.dat"};

bool IsCollectedHiveName(const std::string& fileName) {
  HiveLayout layout;
  return CollectedSlot(&layout, fileName) != nullptr;
}

HiveLayout FindHives(const std::string& root, bool drive, const DriveFiles& files) {
  HiveLayout layout;
  layout.drive = drive;
  layout.root = root;
  if (!drive && files.IsFile(root)) {
    if (std::string* slot = CollectedSlot(&layout, root.substr(root.find_last_of('/') + 1))) {
      *slot = root;
    }
    return layout;
  }
  const std::string dir = drive ? "Windows/System32/config/" : "";
  layout.system = LocateFile(files, root, dir + "SYSTEM");
  layout.software = LocateFile(files, root, dir + "SOFTWARE");
  layout.sam = LocateFile(files, root, dir + "SAM");
  layout.security = LocateFile(files, root, dir + "SECURITY");
  layout.defaultUser = LocateFile(files, root, dir + "DEFAULT");
  if (!drive) {
    layout.ntuser = LocateFile(files, root, "NTUSER.DAT");
    layout.classes = LocateFile(files, root, "UsrClass.dat");
  }
  return layout;
}

std::string MapWindowsPath(const std::string& drive, const U16& windowsPath,
                           const DriveFiles& files) {
  std::size_t skip = 0;
  U16 rest;
  if (StartsWithNoCase(windowsPath, u"%SystemDrive%", &skip)) {
    rest = windowsPath.substr(skip);
  } else if (StartsWithNoCase(windowsPath, u"%SystemRoot%", &skip)) {
    rest = u"\\Windows" + windowsPath.substr(skip);
  } else if (windowsPath.size() >= 2 && windowsPath[1] == u':') {
    // The drive letter is the system drive's own: the one mounted here.
    rest = windowsPath.substr(2);
  } else {
    return std::string();
  }
  std::string relative = Utf16ToUtf8(rest);
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  // ".." would leave the drive.
  if (("/" + relative + "/").find("/../") != std::string::npos) return std::string();
  return Locate(files, drive, Utf8ToAnsi(relative));
}

UserProfile ProfileAt(const std::string& drive, const std::string& sid, const U16& imagePath,
                      const DriveFiles& files) {
  UserProfile profile;
  profile.sid = sid;
  const std::string dir = MapWindowsPath(drive, imagePath, files);
  const std::size_t slash = dir.find_last_of('/');
  if (dir.empty() || slash == std::string::npos) return profile;
  profile.folder = dir.substr(slash + 1);
  profile.ntuser = LocateFile(files, dir, "NTUSER.DAT");
  profile.classes = LocateFile(files, dir, "AppData/Local/Microsoft/Windows/UsrClass.dat");
  return profile;
}

std::vector<UserProfile> ProfilesInUsers(const std::string& drive, const DriveFiles& files) {
  std::vector<UserProfile> profiles;
  const std::string users = Locate(files, drive, "Users");
  if (users.empty()) return profiles;
  for (const std::string& name : files.List(users)) {
    UserProfile p;
    p.folder = name;
    p.ntuser = LocateFile(files, users + "/" + name, "NTUSER.DAT");
    p.classes =
        LocateFile(files, users + "/" + name, "AppData/Local/Microsoft/Windows/UsrClass.dat");
    if (!p.ntuser.empty()) profiles.push_back(std::move(p));
  }
  std::sort(profiles.begin(), profiles.end(),
            [](const UserProfile& a, const UserProfile& b) { return a.folder < b.folder; });
  return profiles;
}

int ChooseUser(const std::vector<UserProfile>& profiles, const std::string& wanted,
               std::string* warning) {
  std::string choices;
  int ordinary = -1;
  int count = 0;
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    const UserProfile& p = profiles[i];
    if (p.ntuser.empty()) continue;
    if (!wanted.empty() && (UpperAnsi(wanted) == UpperAnsi(Utf8ToAnsi(p.sid)) ||
                            UpperAnsi(wanted) == UpperAnsi(Utf8ToAnsi(p.folder)))) {
      return static_cast<int>(i);
    }
    // Without a SID, only the folder tells the template profiles (Default,
    // and the links to it) from users.
    const std::string folder = UpperAnsi(Utf8ToAnsi(p.folder));
    if (p.sid.empty() ? folder == "DEFAULT" || folder == "DEFAULT USER" || folder == "ALL USERS"
                      : p.sid.compare(0, 9, "S-1-5-21-") != 0) {
      continue;
    }
    ordinary = static_cast<int>(i);
    ++count;
    choices += (choices.empty() ? "" : ", ") + Utf8ToAnsi(p.folder) +
               (p.sid.empty() ? "" : " (" + p.sid + ")");
  }
  if (!wanted.empty()) {
    // "HIVTAP_USER ne désigne aucun profil"
    *warning = "hivTAP: HIVTAP_USER ne d\xE9signe aucun profil : " + wanted +
               "; HKCU est absent. Profils : " + (choices.empty() ? "aucun" : choices);
    return -1;
  }
  if (count == 1) return ordinary;
  if (count > 1) {
    // "plusieurs profils : HIVTAP_USER choisit celui de HKCU parmi"
    *warning =
        "hivTAP: plusieurs profils d'utilisateur, HKCU est absent ; HIVTAP_USER choisit "
        "parmi : " +
        choices;
  }
  return -1;
}

}  // namespace platform
