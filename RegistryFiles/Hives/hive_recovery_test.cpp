#include "RegistryFiles/Hives/hive_recovery.h"

#include <gtest/gtest.h>
#include <hivex.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "RegistryFiles/Hives/hive_file.h"
#include "RegistryFiles/Hives/hive_log.h"
#include "RegistryFiles/Hives/marvin32.h"
#include "RegistryFiles/Hives/recovered_hive.h"
#include "tests/samples.h"
#include "tests/temp_dir.h"
#include "tests/tools/hive_fixture.h"

namespace platform {
namespace {

using hivefix::LogEntry;
using hivefix::MakeHive;
using hivefix::NewLog;
using hivelog::kBaseBlockSize;
using hivelog::Le32;
using Files = std::map<std::string, std::string>;

std::string FromHex(const char* hex) {
  std::string bytes;
  for (; hex[0] && hex[1]; hex += 2)
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex, 2), nullptr, 16)));
  return bytes;
}

// Published vectors: .NET's System.Marvin tests (dotnet/corefx,
// src/Common/tests/Tests/System/MarvinTests.cs), 64-bit results.
TEST(Marvin32Test, MatchesPublishedVectors) {
  struct Vector {
    std::uint64_t seed;
    const char* hex;
    std::uint64_t hash;
  } const vectors[] = {
      {0x004FB61A001BDBCCull, "", 0x30ED35C100CD3C7Dull},
      {0x004FB61A001BDBCCull, "af", 0x48E73FC77D75DDC1ull},
      {0x004FB61A001BDBCCull, "e70f", 0xB5F6E1FC485DBFF8ull},
      {0x004FB61A001BDBCCull, "37f495", 0xF0B07C789B8CF7E8ull},
      {0x004FB61A001BDBCCull, "8642dc59", 0x7008F2E87E9CF556ull},
      {0x004FB61A001BDBCCull, "153fb79826", 0xE6C08C6DA2AFA997ull},
      {0x004FB61A001BDBCCull, "0932e6246c47", 0x6F04BF1A5EA24060ull},
      {0x004FB61A001BDBCCull, "ab427ea8d10fc7", 0xE11847E4F0678C41ull},
      {0x804FB61A001BDBCCull, "", 0x10A9D5D3996FD65Dull},
      {0x804FB61A001BDBCCull, "153fb79826", 0x0A06114B13464DBDull},
      {0x804FB61A001BDBCCull, "ab427ea8d10fc7", 0xE203987DBA252FB3ull},
      {0x804FB61A801BDBCCull, "FF00FF00", 0xD3BEC7726B057943ull},
      {0x804FB61A801BDBCCull, "00FF00FF00FF00", 0x71876F2EFB1B0EE8ull},
  };
  for (const Vector& v : vectors) {
    const std::string bytes = FromHex(v.hex);
    EXPECT_EQ(Marvin32(v.seed, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
              v.hash)
        << v.hex;
  }
}

// A file of the Windows 10 sample (its README says what recovery gives).
std::string WindowsSample(const std::string& name) {
  return UnpackSample("windows10-dirty-hive/" + name);
}

std::uint64_t Le64(const char* p) {
  return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

std::uint64_t LogHash(const char* p, std::size_t n) {
  return Marvin32(kHiveLogMarvinSeed, reinterpret_cast<const unsigned char*>(p), n);
}

// The seed against hashes Windows computed: Hash-1 over an entry past its
// 40-byte header, Hash-2 over its first 32 bytes, for every entry of both logs.
TEST(Marvin32Test, SeedChecksEntriesWindowsWrote) {
  struct Log {
    const char* name;
    std::size_t entries;
  } const logs[] = {{"NewDirtyHive.LOG1", 1}, {"NewDirtyHive.LOG2", 3}};
  for (const Log& l : logs) {
    const std::string log = WindowsSample(l.name);
    std::size_t entries = 0;
    for (std::size_t pos = 512; log.compare(pos, 4, "HvLE") == 0; ++entries) {
      const char* e = log.data() + pos;
      const std::uint32_t size = Le32(e + 4);
      ASSERT_TRUE(size >= 40 && size <= log.size() - pos) << l.name << " at " << pos;
      EXPECT_EQ(LogHash(e + 40, size - 40), Le64(e + 24)) << l.name << " Hash-1 at " << pos;
      EXPECT_EQ(LogHash(e, 32), Le64(e + 32)) << l.name << " Hash-2 at " << pos;
      pos += size;
    }
    EXPECT_EQ(entries, l.entries) << l.name;
  }
}

// The base block checksum has two copies, the hive reader's and the log
// replay's: both against the blocks Windows wrote, and the replay's own at
// the two sums that are never stored.
TEST(BaseBlockChecksumTest, BothCopiesMatchWindowsBlocks) {
  for (const char* name : {"NewDirtyHive", "NewDirtyHive.LOG1", "NewDirtyHive.LOG2"}) {
    const std::string block = WindowsSample(name).substr(0, 512);
    ASSERT_EQ(block.size(), 512u) << name;
    const std::uint32_t stored = Le32(block.data() + 508);
    EXPECT_EQ(hivelog::BaseBlockChecksum(block.data()), stored) << name;
    EXPECT_EQ(BaseBlockChecksum(reinterpret_cast<const unsigned char*>(block.data())), stored)
        << name;
  }
  struct Limit {
    char first_byte;  // of a block otherwise zero
    std::uint32_t sum;
  } const limits[] = {{'\0', 1u}, {'\xFF', 0xFFFFFFFEu}};
  for (const Limit& l : limits) {
    const std::string block = std::string(4, l.first_byte) + std::string(508, '\0');
    EXPECT_EQ(hivelog::BaseBlockChecksum(block.data()), l.sum) << int{l.first_byte};
  }
}

// Every file of the folder with its bytes and modification time.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    struct stat st {};
    stat(e.path().c_str(), &st);
    files[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {}) +
                                          "@" + std::to_string(st.st_mtim.tv_sec) + "." +
                                          std::to_string(st.st_mtim.tv_nsec);
  }
  return files;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Dirty(std::string hive) {
  hivefix::SetSequence(&hive, 5, 4);
  return hive;
}

// Damages one byte of an entry at `at`, leaving its hashes as they were.
std::string Damage(std::string entry, std::size_t at) {
  entry[at] ^= 0x55;
  return entry;
}

struct Case {
  const char* name;
  std::function<Files()> files;  // SYSTEM and the logs beside it
  const char* text;              // Version's text as read
  std::uint32_t sequence;        // of the recovered base block; 0: not recovered
  const char* warned_file;       // named by the one warning; null: no warning
  const char* warning;           // in that warning
  std::size_t size = 0;          // of the recovered image, when it matters
};

const std::string h0 = MakeHive("v0"), h1 = MakeHive("v1"), h2 = MakeHive("v2");
const std::string e5 = LogEntry(5, h0, h1), e6 = LogEntry(6, h1, h2);
const char* const kNotApplied =
    "ruche sale (journaux non appliqu\xE9s), valeurs peut-\xEAtre anciennes";

const Case kCases[] = {
    {"CleanHiveIgnoresStaleLogs",
     [] {
       return Files{{"SYSTEM", h0}, {"SYSTEM.LOG1", NewLog(h0, 5, {e5, e6})}};
     },
     "v0", 0, nullptr, nullptr},
    {"Log1Only",
     [] {
       return Files{{"SYSTEM", Dirty(h0)}, {"SYSTEM.LOG1", NewLog(h0, 5, {e5, e6})}};
     },
     "v2", 6, nullptr, nullptr},
    {"Log2OnlyAnyCase",
     [] {
       return Files{{"SYSTEM", Dirty(h0)}, {"system.log2", NewLog(h0, 5, {e5, e6})}};
     },
     "v2", 6, nullptr, nullptr},
    {"BothLogsLog1First",
     [] {
       return Files{{"SYSTEM", Dirty(h0)},
                    {"SYSTEM.LOG1", NewLog(h0, 5, {e5})},
                    {"SYSTEM.LOG2", NewLog(h1, 6, {e6})}};
     },
     "v2", 6, nullptr, nullptr},
    {"BothLogsLog2First",
     [] {
       return Files{{"SYSTEM", Dirty(h0)},
                    {"SYSTEM.LOG1", NewLog(h1, 6, {e6})},
                    {"SYSTEM.LOG2", NewLog(h0, 5, {e5})}};
     },
     "v2", 6, nullptr, nullptr},
    {"OldFormatLog",
     [] {
       return Files{{"SYSTEM", Dirty(h0)}, {"SYSTEM.LOG", hivefix::OldLog(Dirty(h0), h1)}};
     },
     "v1", 5, nullptr, nullptr},
    {"BadFirstHash",
     [] {
       const std::string bad = Damage(e6, e6.size() - 100);
       return Files{{"SYSTEM", Dirty(h0)}, {"SYSTEM.LOG1", NewLog(h0, 5, {e5, bad})}};
     },
     "v1", 5, "SYSTEM.LOG1",
     "empreinte fausse \xE0 l'entr\xE9"
     "e 6"},
    {"BadSecondHash",
     [] {
       const std::string bad = Damage(e6, hivefix::kEntryHash2);
       return Files{{"SYSTEM", Dirty(h0)}, {"SYSTEM.LOG1", NewLog(h0, 5, {e5, bad})}};
     },
     "v1", 5, "SYSTEM.LOG1",
     "empreinte fausse \xE0 l'entr\xE9"
     "e 6"},
    {"GapInSequence",
     [] {
       return Files{{"SYSTEM", Dirty(h0)},
                    {"SYSTEM.LOG1", NewLog(h0, 5, {e5, LogEntry(7, h1, h2)})}};
     },
     "v1", 5, "SYSTEM.LOG1", "s\xE9quence interrompue"},
    {"TruncatedMidEntry",
     [] {
       const std::string log = NewLog(h0, 5, {e5, e6});
       return Files{{"SYSTEM", Dirty(h0)}, {"SYSTEM.LOG1", log.substr(0, log.size() - 1000)}};
     },
     "v1", 5, "SYSTEM.LOG1", "journal tronqu\xE9"},
    {"EntriesOlderThanHive",
     [] {
       std::string primary = h0;
       hivefix::SetSequence(&primary, 9, 8);
       return Files{{"SYSTEM", primary}, {"SYSTEM.LOG1", NewLog(h0, 5, {e5, e6})}};
     },
     "v0", 0, "SYSTEM", kNotApplied},
    {"InvalidPrimaryBaseBlock",
     [] {
       std::string primary = Dirty(h0);
       primary[36] = 0x40;  // root cell moved, checksum left as it was
       return Files{{"SYSTEM", primary},
                    {"SYSTEM.LOG1", NewLog(h0, 5, {e5, e6})},
                    {"SYSTEM.LOG2", NewLog(h0, 3, {LogEntry(3, h0, MakeHive("stale"))})}};
     },
     "v2", 6, nullptr, nullptr},
    {"RecoveredHiveLarger",
     [] {
       return Files{{"SYSTEM", Dirty(h0)},
                    {"SYSTEM.LOG1", NewLog(h0, 5, {LogEntry(5, h0, MakeHive("v1", true))})}};
     },
     "v1", 5, nullptr, nullptr, 4096 + 8192},
    {"Log1StopsLog2GoesOn",
     [] {
       const std::string bad = Damage(e6, e6.size() - 100);
       return Files{{"SYSTEM", Dirty(h0)},
                    {"SYSTEM.LOG1", NewLog(h0, 5, {e5, bad})},
                    {"SYSTEM.LOG2", NewLog(h1, 6, {e6})}};
     },
     "v2", 6, nullptr, nullptr},
    {"Log1StopsLog2Gap",
     [] {
       const std::string bad = Damage(e6, e6.size() - 100);
       return Files{{"SYSTEM", Dirty(h0)},
                    {"SYSTEM.LOG1", NewLog(h0, 5, {e5, bad})},
                    {"SYSTEM.LOG2", NewLog(h1, 7, {LogEntry(7, h1, h2)})}};
     },
     "v1", 5, "SYSTEM.LOG1",
     "empreinte fausse \xE0 l'entr\xE9"
     "e 6"},
    {"OldFormatLogInvalidPrimaryBaseBlock",
     [] {
       std::string primary = Dirty(h0);
       primary[36] = 0x40;  // root cell moved, checksum left as it was
       return Files{{"SYSTEM", primary}, {"SYSTEM.LOG", hivefix::OldLog(Dirty(h0), h1)}};
     },
     "v1", 5, nullptr, nullptr},
    {"NoLogs",
     [] {
       return Files{{"SYSTEM", Dirty(h0)}};
     },
     "v0", 0, "SYSTEM", kNotApplied},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class HiveRecoveryTest : public testing::TestWithParam<Case> {};

TEST_P(HiveRecoveryTest, ReadsWhatWindowsWouldLoad) {
  const Case& c = GetParam();
  TempDir dir;
  for (const auto& [name, bytes] : c.files()) dir.Write(name, bytes);
  const auto before = Snapshot(dir.Path(""));

  std::vector<std::string> warnings;
  {
    const RecoveredHive hive = OpenForReading(dir.Path("SYSTEM"), &warnings);
    const std::string image = Read(hive.path());
    EXPECT_EQ(hivefix::VersionText(image), c.text);
    EXPECT_EQ(hive.recovered(), c.sequence != 0);
    if (c.sequence != 0) {
      EXPECT_FALSE(HiveIsDirty(image));
      EXPECT_EQ(Le32(image.data() + 4), c.sequence);
      EXPECT_EQ(Le32(image.data() + 40) + kBaseBlockSize, image.size());
    }
    if (c.size != 0) {
      EXPECT_EQ(image.size(), c.size);
    }
  }

  if (c.warned_file == nullptr) {
    EXPECT_TRUE(warnings.empty()) << warnings[0];
  } else {
    ASSERT_EQ(warnings.size(), 1u);
    const std::string file = " : " + dir.Path(c.warned_file);
    EXPECT_EQ(warnings[0].substr(warnings[0].size() - std::min(file.size(), warnings[0].size())),
              file);
    EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
  }
  EXPECT_EQ(Snapshot(dir.Path("")), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, HiveRecoveryTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// The Windows sample recovered: LOG1's entries are older than the primary,
// LOG2's entries 3 to 5 bring it up to date. Its values are read by hivex.
struct HiveCloser {
  void operator()(hive_h* h) const { hivex_close(h); }
};
struct Free {
  void operator()(void* p) const { std::free(p); }
};

struct ValueRead {
  bool found = false;
  std::size_t size = 0;  // of the raw data
  std::string text;      // REG_SZ as UTF-8
};

ValueRead ReadValue(hive_h* h, const char* key, const char* name) {
  ValueRead read;
  const hive_node_h node = hivex_node_get_child(h, hivex_root(h), key);
  const hive_value_h value = node ? hivex_node_get_value(h, node, name) : 0;
  if (value == 0) return read;
  hive_type type{};
  const std::unique_ptr<char, Free> raw(hivex_value_value(h, value, &type, &read.size));
  const std::unique_ptr<char, Free> text(hivex_value_string(h, value));
  read.found = raw && text && type == hive_t_REG_SZ;
  if (text) read.text = text.get();
  return read;
}

const char* const kSamplePrimary = "NewDirtyHive";

struct SampleCase {
  const char* name;
  std::vector<const char*> logs;  // the sample's log suffixes put beside it
  std::uint32_t sequence;         // both numbers once recovered; 0: not recovered
  const char* warning;            // in the one warning, naming NTUSER.DAT; null: none
  const char* key2_v;             // Key2's "v"; null: missing
  std::size_t key1_default;       // the size of Key1's default value; 0: missing
  std::size_t key3_default;       // the size of Key3's, all "1" before its NUL; 0: missing
};

const SampleCase kSampleCases[] = {
    {"BothLogs", {".LOG1", ".LOG2"}, 5, nullptr, nullptr, 0, 2882},
    {"OlderLog1Only", {".LOG1"}, 0, kNotApplied, "testTEST", 12002, 0},
};

void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.name; }

class WindowsSampleTest : public testing::TestWithParam<SampleCase> {};

TEST_P(WindowsSampleTest, RecoversAsWindowsDid) {
  const SampleCase& c = GetParam();
  TempDir dir;
  dir.Write("NTUSER.DAT", WindowsSample(kSamplePrimary));
  for (const char* suffix : c.logs)
    dir.Write(std::string("NTUSER.DAT") + suffix,
              WindowsSample(kSamplePrimary + std::string(suffix)));

  std::vector<std::string> warnings;
  const RecoveredHive hive = OpenForReading(dir.Path("NTUSER.DAT"), &warnings);
  EXPECT_EQ(hive.recovered(), c.sequence != 0);
  const std::string image = Read(hive.path());
  if (c.sequence != 0) {
    EXPECT_FALSE(HiveIsDirty(image));
    EXPECT_EQ(Le32(image.data() + 4), c.sequence);
    EXPECT_EQ(Le32(image.data() + 8), c.sequence);
  }
  if (c.warning == nullptr) {
    EXPECT_TRUE(warnings.empty()) << warnings[0];
  } else {
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find(" : " + dir.Path("NTUSER.DAT")), std::string::npos) << warnings[0];
  }

  const std::unique_ptr<hive_h, HiveCloser> h(hivex_open(hive.path().c_str(), 0));
  ASSERT_TRUE(h) << "hivex cannot open " << hive.path();
  const ValueRead v = ReadValue(h.get(), "Key2", "v");
  EXPECT_EQ(v.found, c.key2_v != nullptr);
  if (c.key2_v) {
    EXPECT_EQ(v.text, c.key2_v);
  }
  const ValueRead key1 = ReadValue(h.get(), "Key1", "");
  EXPECT_EQ(key1.found ? key1.size : 0, c.key1_default);
  const ValueRead key3 = ReadValue(h.get(), "Key3", "");
  EXPECT_EQ(key3.found ? key3.size : 0, c.key3_default);
  if (c.key3_default) {
    EXPECT_EQ(key3.text, std::string((c.key3_default - 2) / 2, '1'));
  }
}

INSTANTIATE_TEST_SUITE_P(Sample, WindowsSampleTest, testing::ValuesIn(kSampleCases),
                         [](const testing::TestParamInfo<SampleCase>& info) {
                           return info.param.name;
                         });

// Each log replayed from the primary's secondary sequence number: LOG1's one
// entry is older and passed over, LOG2's three apply and end at 5.
TEST(WindowsSampleLogTest, ReplaysOnlyTheNewerEntries) {
  struct Replay {
    const char* log;
    std::uint32_t applied, last_sequence;
  } const replays[] = {{".LOG1", 0, 0}, {".LOG2", 3, 5}};
  const std::string primary = WindowsSample(kSamplePrimary);
  for (const Replay& r : replays) {
    const std::string log = WindowsSample(kSamplePrimary + std::string(r.log));
    std::string image = primary, base = primary.substr(0, kBaseBlockSize);
    StringImage view(&image);
    const hivelog::LogReplay done = hivelog::ReplayNewLog(
        log, Le32(primary.data() + 8), primary.size() + log.size(), &base, &view);
    EXPECT_EQ(done.stop, hivelog::LogStop::kEnd) << r.log;
    EXPECT_EQ(done.applied, r.applied) << r.log;
    EXPECT_EQ(done.last_sequence, r.last_sequence) << r.log;
    EXPECT_EQ(image == primary, r.applied == 0) << r.log;
  }
}

}  // namespace
}  // namespace platform
