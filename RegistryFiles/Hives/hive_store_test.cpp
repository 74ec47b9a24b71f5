// Key info from hives Windows wrote, against reglookup's reading of the same
// image: each key's last-write time (to the second, as it prints them) and
// the counts of its subkeys and values.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform/charset_posix.h"
#include "Platform/registry_store.h"
#include "RegistryFiles/Hives/hive_file.h"
#include "RegistryFiles/Hives/hive_store.h"
#include "tests/samples.h"
#include "tests/temp_dir.h"

namespace platform {
namespace {

// Key path ("/" the root, "/a/b" beneath): "time subkeys values".
using Keys = std::map<std::string, std::string>;

std::string Parent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Info(const std::string& time, int keys, int values) {
  return time + " " + std::to_string(keys) + " " + std::to_string(values);
}

// reglookup's lines: PATH,TYPE,VALUE,MTIME; keys have an MTIME, values none.
Keys Reglookup(const std::string& file) {
  std::map<std::string, std::string> times;
  std::map<std::string, int> keys, values;
  const std::string command = "reglookup '" + file + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> out(popen(command.c_str(), "r"), pclose);
  char line[4096];
  while (out && std::fgets(line, sizeof line, out.get())) {
    std::string text = line;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos || text.compare(0, comma, "PATH") == 0) continue;
    const std::string path = text.substr(0, comma);
    if (text.compare(comma, 5, ",KEY,") == 0) {
      times[path] = text.substr(text.rfind(',') + 1);
      if (path != "/") ++keys[Parent(path)];
    } else {
      ++values[Parent(path)];
    }
  }
  Keys read;
  for (const auto& [path, time] : times) read[path] = Info(time, keys[path], values[path]);
  return read;
}

std::string Utc(std::uint64_t fileTime) {
  const std::time_t seconds = static_cast<std::time_t>(fileTime / 10000000 - 11644473600ull);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

// Every key beneath the store's path, as KeyInfo gives it.
void Walk(RegistryStore& store, const std::string& token, const std::string& path, Keys* out) {
  RegKeyInfo info;
  ASSERT_TRUE(store.KeyInfo(token, &info)) << path;
  (*out)[path] = Info(Utc(info.lastWrite), info.subKeys, info.values);
  std::vector<std::u16string> names;
  ASSERT_TRUE(store.KeyNames(token, &names));
  for (const std::u16string& name : names) {
    std::string child;
    ASSERT_TRUE(store.OpenKey(token, name, &child));
    Walk(store, child, (path == "/" ? "/" : path + "/") + Utf16ToUtf8(name), out);
  }
}

struct Sample {
  const char* file;
  std::vector<const char*> logs;
};

TEST(HiveKeyInfoTest, TimesAndCountsAsReglookupReadsThem) {
  const Sample samples[] = {
      {"deleted-keys/DeletedDataHive", {}},
      {"deleted-keys/DeletedTreeHive", {}},
      {"windows10-dirty-hive/NewDirtyHive", {}},
      // Read after its logs are replayed: reglookup reads the image replayed.
      {"windows10-dirty-hive/NewDirtyHive", {".LOG1", ".LOG2"}},
  };
  for (const Sample& s : samples) {
    SCOPED_TRACE(std::string(s.file) + " with " + std::to_string(s.logs.size()) + " logs");
    TempDir dir;
    dir.Write("NTUSER.DAT", UnpackSample(s.file));
    for (const char* log : s.logs)
      dir.Write(std::string("NTUSER.DAT") + log, UnpackSample(std::string(s.file) + log));
    testing::internal::CaptureStderr();  // the dirty hive's warning
    const std::unique_ptr<HiveFile> hive = OpenHive(dir.Path("NTUSER.DAT"));
    ASSERT_TRUE(hive && hive->image());
    dir.Write("image",
              std::string(reinterpret_cast<const char*>(hive->image()), hive->imageSize()));
    HiveStore store(dir.Path(""), false);
    std::string root;
    ASSERT_TRUE(store.RootPath(0x80000001, &root));
    Keys walked;
    Walk(store, root, "/", &walked);
    testing::internal::GetCapturedStderr();
    const Keys expected = Reglookup(dir.Path("image"));
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(walked, expected);
  }
}

}  // namespace
}  // namespace platform
