#include "RegistryFiles/Images/ntfs_files.h"

#include <algorithm>
#include <utility>

#include "Platform/codepage.h"
#include "Platform/command_line.h"
#include "RegistryFiles/Hives/hive_recovery.h"
#include "RegistryFiles/Hives/recovered_hive.h"

namespace platform {
namespace {

// Registry hives stay far below this; a larger size is a damaged record.
constexpr TSK_OFF_T kMaxFileSize = TSK_OFF_T{1} << 31;
// Files are read through a buffer of this size.
constexpr std::size_t kPiece = 1u << 20;

std::string Join(const std::string& dir, const std::string& name) {
  return dir + (!dir.empty() && dir.back() == '/' ? "" : "/") + name;
}

}  // namespace

NtfsFiles::NtfsFiles(std::shared_ptr<TskVolume> volume, std::string image)
    : volume_(std::move(volume)), image_(std::move(image)) {}

TskFile NtfsFiles::Open(const std::string& path) const {
  TskFile file(Tsk().fs_file_open(volume_->fs.get(), nullptr, path.c_str()));
  Tsk().error_reset();
  if (file && !file->meta) file.reset();
  return file;
}

void NtfsFiles::Damaged(const std::string& path) const {
  if (!warned_.insert(path).second) return;
  // "image disque endommagée, illisible"
  const std::string warning =
      "hivTAP: image disque endommag\xE9"
      "e, illisible : " +
      Utf8ToAnsi(image_ + ":" + path);
  if (quiet_) {
    kept_.push_back(warning);
  } else {
    WriteErrorLine(warning);
  }
}

std::vector<std::string> NtfsFiles::List(const std::string& dir) const {
  auto it = lists_.find(dir);
  if (it != lists_.end()) return it->second;
  std::vector<std::string> names;
  const TskFile self = Open(dir);
  if (self && self->meta->type == TSK_FS_META_TYPE_DIR) {
    TskDir d(Tsk().fs_dir_open(volume_->fs.get(), dir.c_str()));
    Tsk().error_reset();
    if (!d) Damaged(dir);
    const std::size_t n = d ? Tsk().fs_dir_getsize(d.get()) : 0;
    for (std::size_t i = 0; i < n; ++i) {
      const TSK_FS_NAME* e = Tsk().fs_dir_get_name(d.get(), i);
      // Deleted names stay in NTFS indexes; Windows does not see them.
      if (!e || !e->name || (e->flags & TSK_FS_NAME_FLAG_UNALLOC)) continue;
      const std::string name = e->name;
      if (name == "." || name == ".." ||
          std::find(names.begin(), names.end(), name) != names.end()) {
        continue;
      }
      names.push_back(name);
      if (e->type == TSK_FS_NAME_TYPE_REG) listedFiles_.insert(Join(dir, name));
    }
  } else if (!self && !dir.empty()) {
    Damaged(dir);
  }
  return lists_.emplace(dir, std::move(names)).first->second;
}

std::string NtfsFiles::Find(const std::string& dir, const std::string& name) const {
  const std::string wanted = UpperAnsi(name);
  for (const std::string& e : List(dir)) {
    if (UpperAnsi(Utf8ToAnsi(e)) == wanted) return Join(dir, e);
  }
  return std::string();
}

bool NtfsFiles::IsFile(const std::string& path) const {
  if (path.empty()) return false;
  const TskFile file = Open(path);
  // A record that fails its checks would otherwise hide a hive unseen.
  if (!file) return listedFiles_.count(path) > 0;
  return file->meta->type == TSK_FS_META_TYPE_REG;
}

bool NtfsFiles::ReadPieces(const TskFile& file, const std::string& path,
                           const std::function<bool(const char*, std::size_t)>& sink) const {
  const TSK_OFF_T size = file ? file->meta->size : -1;
  if (size < 0 || size > kMaxFileSize) {
    Damaged(path);
    return false;
  }
  std::vector<char> piece(std::min<std::size_t>(static_cast<std::size_t>(size), kPiece));
  std::size_t done = 0;
  while (done < static_cast<std::size_t>(size)) {
    const std::size_t want = std::min(piece.size(), static_cast<std::size_t>(size) - done);
    const ssize_t n = Tsk().fs_file_read(file.get(), static_cast<TSK_OFF_T>(done), piece.data(),
                                         want, TSK_FS_FILE_READ_FLAG_NONE);
    if (n <= 0 || !sink(piece.data(), static_cast<std::size_t>(n))) break;
    done += static_cast<std::size_t>(n);
  }
  Tsk().error_reset();
  if (done == static_cast<std::size_t>(size)) return true;
  Damaged(path);
  return false;
}

bool NtfsFiles::StartsDirty(const TskFile& file) const {
  // What cannot be read is left to the whole read, which warns.
  char head[hivelog::kLogSectorSize];
  if (!file || file->meta->size < static_cast<TSK_OFF_T>(sizeof head)) return false;
  const ssize_t n =
      Tsk().fs_file_read(file.get(), 0, head, sizeof head, TSK_FS_FILE_READ_FLAG_NONE);
  Tsk().error_reset();
  return n == static_cast<ssize_t>(sizeof head) && HiveIsDirty(std::string_view(head, sizeof head));
}

bool NtfsFiles::ReadAll(const TskFile& file, const std::string& path, std::string* bytes) const {
  bytes->clear();
  return ReadPieces(file, path, [bytes](const char* data, std::size_t n) {
    bytes->append(data, n);
    return true;
  });
}

bool NtfsFiles::Read(const std::string& path, std::string* bytes) const {
  return ReadAll(Open(path), path, bytes);
}

std::unique_ptr<HiveFile> NtfsFiles::OpenHive(const std::string& path) const {
  const std::string name = image_ + ":" + path;
  const TskFile file = Open(path);
  // A clean hive goes straight into the memory file hivex reads, never held
  // twice; only a dirty one is read whole first, to replay its logs.
  if (!StartsDirty(file)) {
    UniqueFd fd(NewMemoryFile("hivtap-hive"));
    if (fd.get() < 0 ||
        !ReadPieces(
            file, path,
            [&fd](const char* data, std::size_t n) { return AppendToFile(fd.get(), data, n); }) ||
        !SealMemoryFile(fd.get()))
      return nullptr;
    return OpenHiveMemory(name, fd);
  }
  std::string bytes;
  if (!ReadAll(file, path, &bytes)) return nullptr;
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = path.substr(0, slash == 0 ? 1 : slash);
  const std::vector<std::string> names = ChooseHiveLogs(path.substr(slash + 1), List(dir));
  std::vector<std::string> logBytes(names.size());
  std::vector<HiveLogFile> logs;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string log = Join(dir, names[i]);
    if (Read(log, &logBytes[i])) logs.push_back({image_ + ":" + log, logBytes[i]});
  }
  return OpenHiveBytes(name, std::move(bytes), logs);
}

}  // namespace platform
