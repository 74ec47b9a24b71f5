#include <dirent.h>
#include <sys/stat.h>

#include "RegistryFiles/Images/drive_files.h"
#include "RegistryFiles/registry_source.h"

namespace platform {

std::string FolderFiles::Find(const std::string& dir, const std::string& name) const {
  return FindEntry(dir, name);
}

std::vector<std::string> FolderFiles::List(const std::string& dir) const {
  struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
  };
  std::vector<std::string> names;
  std::unique_ptr<DIR, DirCloser> d(opendir(dir.c_str()));
  while (const dirent* e = d ? readdir(d.get()) : nullptr) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

bool FolderFiles::IsFile(const std::string& path) const {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::unique_ptr<HiveFile> FolderFiles::OpenHive(const std::string& path) const {
  return platform::OpenHive(path);
}

const DriveFiles& Folders() {
  static const FolderFiles files;
  return files;
}

}  // namespace platform
