// Any bytes as a disk image file: the Sleuth Kit looks for a partition table,
// NTFS volumes and Windows in it, and when it finds one the drive's hive code
// reads every root and a few keys through it, twice: both passes must give
// the same. Damage must read as missing, never crash or hang.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "RegistryFiles/Hives/hive_store.h"
#include "RegistryFiles/Images/disk_image.h"
#include "fuzz/support/fuzz_support.h"
#include "tests/ansi_store.h"

namespace {

const char* const kKeys[] = {"SYSTEM\\CurrentControlSet\\Control", "SYSTEM\\Select",
                             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                             "Control Panel\\Desktop", ""};
const char* const kValues[] = {"Current", "ProfileImagePath", "Wallpaper", ""};

std::map<std::string, std::string> ReadAll(platform::RegistryStore& store) {
  std::map<std::string, std::string> seen;
  for (std::uint32_t root = 0x80000000; root <= 0x80000006; ++root) {
    std::string rootPath;
    if (!store.RootPath(root, &rootPath)) continue;
    for (const char* key : kKeys) {
      std::string path;
      const std::string where = std::to_string(root) + "\\" + key;
      if (!ansi_store::OpenKey(store, rootPath, key, &path)) continue;
      seen[where] = "(open)";
      for (const char* name : kValues) {
        platform::StoredValue value;
        if (ansi_store::QueryValue(store, path, name, &value))
          seen[where + "\n" + name] = std::to_string(value.type) + ":" + value.data;
      }
    }
  }
  return seen;
}

}  // namespace

// The library's VMDK and VHD openers leak what they made when a file with
// their signature fails to open, and its NTFS directory reader leaks an
// entry's name on some damaged records; whole stacks are needed to tell
// those leaks from ours. A directory or file we failed to close is still
// reported: those are allocated elsewhere.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() {
  return "leak:vmdk_open\nleak:vhdi_open\nleak:tsk_fs_name_alloc\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file =
      WriteScratchFile("disk.img", std::string(reinterpret_cast<const char*>(data), size));
  const platform::DiskImage image = platform::OpenDiskImage(file);
  FUZZ_CHECK(image.files || !image.missing.empty(), "an image without Windows says why");
  if (!image.files) return 0;
  // Two stores, each opening the hives anew, so that the second pass reads
  // the image again rather than the first one's caches.
  platform::HiveStore first("/", true, image.files);
  platform::HiveStore second("/", true, image.files);
  FUZZ_CHECK(ReadAll(first) == ReadAll(second), "an image reads the same twice");
  return 0;
}
