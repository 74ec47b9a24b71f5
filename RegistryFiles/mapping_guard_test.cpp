// Files cut short while they are mapped: each case truncates the file between
// two lookups of one store, so that the second touches pages past its new end
// (a bus error) at a known point. The run must go on, what lies past the cut
// read as missing, what lies before it still read, and one warning name the
// file.
#include "RegistryFiles/mapping_guard.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <hivex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RegistryFiles/Hives/hive_file.h"
#include "RegistryFiles/Hives/hive_store.h"
#include "RegistryFiles/Wine/wine_prefix_test_util.h"
#include "tests/temp_dir.h"
#include "tests/tools/hive_fixture.h"

namespace platform {
namespace {

using testing_util::kMachine;
using testing_util::Open;
using testing_util::Query;
using testing_util::SystemReg;
using testing_util::TempPrefix;

constexpr off_t kPage = 4096;
const std::string kValue0("value 0", 8);

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// 200 keys of a few values: about eight pages, "K0" on the first.
std::string ManyKeys() {
  std::string body;
  for (int i = 0; i < 200; ++i) {
    const std::string n = std::to_string(i);
    body += "[K" + n + "] 1\n\"v\"=\"value " + n + "\"\n\"w\"=dword:0000002a\n\"pad\"=\"" +
            std::string(80, 'p') + "\"\n\n";
  }
  return SystemReg(body);
}

struct WineCase {
  const char* what;
  // Lookups before the cut, then the one that meets it.
  std::function<void(WinePrefixStore&)> before;
  std::function<std::string(WinePrefixStore&)> after;
};

TEST(ChangedFileTest, WinePrefixFileCutShortReadsAsMissing) {
  const std::vector<WineCase> cases = {
      {"a value of a key indexed before the cut (the value's section is read)",
       [](WinePrefixStore& s) { ASSERT_NE(Open(s, kMachine, "K199"), "<missing>"); },
       [](WinePrefixStore& s) { return Query(s, Open(s, kMachine, "K199"), "v"); }},
      {"the file indexed again after the cut (its key headers are scanned)",
       [](WinePrefixStore& s) { ASSERT_EQ(Query(s, Open(s, kMachine, "K0"), "v"), kValue0); },
       [](WinePrefixStore& s) { return Open(s, kMachine, "K150"); }},
  };
  for (const WineCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempPrefix prefix;
    prefix.Write("system.reg", ManyKeys());
    const std::string file = prefix.dir() + "/system.reg";
    WinePrefixStore store(prefix.dir());
    c.before(store);
    ASSERT_EQ(truncate(file.c_str(), kPage), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.after(store), "<missing>");
    // Both the key before the cut and, again, the one past it.
    EXPECT_EQ(Query(store, Open(store, kMachine, "K0"), "v"), kValue0);
    EXPECT_EQ(Query(store, Open(store, kMachine, "K199"), "v"), "<missing>");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count(err, "\n"), 1u) << err;
    EXPECT_EQ(Count(err, "pendant la lecture : " + file + "\n"), 1u) << err;
  }
}

std::string Token(HiveStore& store, const std::string& parent, const std::string& sub) {
  std::string path;
  return ansi_store::OpenKey(store, parent, sub, &path) ? path : "<missing>";
}

std::string Text(HiveStore& store, const std::string& key, const std::string& name) {
  StoredValue v;
  if (!ansi_store::QueryValue(store, key, name, &v)) return "<missing>";
  return v.type == 1 ? v.data.substr(0, v.data.find('\0')) : std::to_string(v.data.size());
}

// Version's data sits in the second bin, on the last page; the keys on the
// first bin's page.
TEST(ChangedFileTest, HiveCutShortReadsAsMissing) {
  TempDir dir;
  dir.Write("SOFTWARE", hivefix::MakeHive("v1", true));
  const std::string file = dir.Path("SOFTWARE");
  HiveStore store(dir.Path(""), false);
  std::string hklm;
  ASSERT_TRUE(store.RootPath(0x80000002, &hklm));
  const std::string software = Token(store, hklm, "SOFTWARE");
  ASSERT_EQ(Text(store, software, "Stamp"), "4");
  ASSERT_EQ(truncate(file.c_str(), 2 * kPage), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Text(store, software, "Version"), "<missing>");
  EXPECT_EQ(Text(store, software, "Version"), "<missing>");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(err, "\n"), 1u) << err;
  EXPECT_EQ(Count(err, "pendant la lecture : " + dir.Path("")), 1u) << err;
  EXPECT_EQ(err.substr(err.size() - 10), "/SOFTWARE\n") << err;
}

// hivex reads through a mapping of its own, made inside hivex_open.
TEST(ChangedFileTest, GuardsTheMappingHivexMakes) {
  TempDir dir;
  dir.Write("SOFTWARE", hivefix::MakeHive("v1"));
  const std::unique_ptr<HiveFile> hive = OpenHive(dir.Path("SOFTWARE"));
  ASSERT_NE(hive, nullptr);
  ASSERT_EQ(truncate(dir.Path("SOFTWARE").c_str(), kPage), 0);
  // The root key's cell, on the first bin's page, reads as zeros.
  EXPECT_EQ(hivex_node_name(hive->get(), hivex_root(hive->get())), nullptr);
  EXPECT_TRUE(hive->watch().changed());
}

// A mapping of no watch: only a scope makes its fault one of ours.
class UnguardedMapping {
 public:
  explicit UnguardedMapping(const std::string& path) : path_(path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    data_ =
        static_cast<const volatile char*>(mmap(nullptr, 2 * kPage, PROT_READ, MAP_SHARED, fd, 0));
    close(fd);
  }
  ~UnguardedMapping() { munmap(const_cast<char*>(data_), 2 * kPage); }
  // The second page's first byte, after the file is cut to one page.
  char ReadPastCut() {
    if (truncate(path_.c_str(), kPage) != 0) return '?';
    return data_[kPage];
  }

 private:
  std::string path_;
  const volatile char* data_;
};

TEST(ChangedFileTest, AScopeTakesFaultsOfMappingsNoWatchGuards) {
  TempDir dir;
  dir.Write("f", std::string(2 * kPage, 'x'));
  UnguardedMapping map(dir.Path("f"));
  MappingWatch watch(dir.Path("f"));
  {
    MappingScope scope(watch);
    EXPECT_EQ(map.ReadPastCut(), '\0');
  }
  EXPECT_TRUE(watch.changed());
}

// The action in place before takes the fault: the default one kills the
// process by SIGBUS, a sanitizer's reports it and aborts.
bool DidNotCarryOn(int status) { return !WIFEXITED(status) || WEXITSTATUS(status) != 0; }

TEST(ChangedFileTest, OtherBusErrorsStillEndTheProcess) {
  TempDir dir;
  dir.Write("f", std::string(2 * kPage, 'x'));
  MappingWatch installed(dir.Path("f"));
  { MappingScope scope(installed); }  // the handler stays installed
  EXPECT_EXIT(
      {
        UnguardedMapping map(dir.Path("f"));
        map.ReadPastCut();
        std::_Exit(0);
      },
      DidNotCarryOn, "");
}

}  // namespace
}  // namespace platform
