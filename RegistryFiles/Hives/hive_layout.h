// Where a Windows drive or a folder of collected hives keeps each hive file,
// and whose profile HKCU is.
#pragma once

#include <string>
#include <vector>

#include "Platform/charset_posix.h"
#include "RegistryFiles/Images/drive_files.h"

namespace platform {

struct UserProfile {
  std::string sid;
  std::string folder;   // the profile folder's own name, for HIVTAP_USER
  std::string ntuser;   // NTUSER.DAT, empty when missing
  std::string classes;  // UsrClass.dat, empty when missing
};

struct HiveLayout {
  bool drive = false;  // a Windows drive, not a folder of collected hives
  std::string root;    // the folder (UTF-8)
  // Files (UTF-8 paths), empty when absent.
  std::string system, software, sam, security, defaultUser;
  // A collected folder's NTUSER.DAT and UsrClass.dat.
  std::string ntuser, classes;
};

// The names of the hive files a folder of collected hives may hold.
extern const char* const kCollectedHiveNames[7];

// Whether `fileName` (UTF-8, no folder) is one of those, in any letter case.
bool IsCollectedHiveName(const std::string& fileName);

// The files the folder holds, names matched in any letter case; a drive's
// folder may be a volume of a disk image (`files`). A single
// hive file as `root` is a folder of that one hive, named by its file name.
HiveLayout FindHives(const std::string& root, bool drive, const DriveFiles& files = Folders());

// A Windows path of that installation (C:\Users\anna, %SystemDrive%\...,
// %SystemRoot%\...) as the path of the existing file or folder on the
// drive; empty when it is not there.
std::string MapWindowsPath(const std::string& drive, const U16& windowsPath,
                           const DriveFiles& files = Folders());

// The profile's files, from its ProfileImagePath.
UserProfile ProfileAt(const std::string& drive, const std::string& sid, const U16& imagePath,
                      const DriveFiles& files = Folders());

// The profiles found as Users/*/NTUSER.DAT on the drive (names in any
// letter case), by folder name and without SID, in name order: what is left
// when ProfileList cannot be read.
std::vector<UserProfile> ProfilesInUsers(const std::string& drive,
                                         const DriveFiles& files = Folders());

// HKCU's profile among `profiles`: the one `wanted` names (SID or folder
// name, any letter case), else the one ordinary user (S-1-5-21-..., or a
// profile without SID but the Default template). -1
// when there is none or the choice is open; `warning` (Windows-1252) then
// says why, when the user should know.
int ChooseUser(const std::vector<UserProfile>& profiles, const std::string& wanted,
               std::string* warning);

}  // namespace platform
