#include "RegistryFiles/Hives/hive_deleted.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/samples.h"
#include "tests/tools/deleted_fixture.h"

namespace platform {
namespace {

using hivefix::CellWriter;
using hivefix::KeyNode;
using hivefix::Le32Bytes;
using hivefix::Numbered;
using hivefix::Utf16Bytes;
using hivefix::ValueKey;
constexpr std::uint32_t kNone = hivefix::kNoCell;
constexpr std::uint32_t kSz = 1, kBinary = 3, kDword = 4;

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
              static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

// Short data in hex; longer data by its length and an FNV-1a hash.
std::string Bytes(const std::string& data) {
  char buf[48];
  std::string out;
  if (data.size() <= 16) {
    for (const char c : data) {
      snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(c));
      out += buf;
    }
    return out;
  }
  std::uint32_t h = 2166136261u;
  for (const char c : data) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  snprintf(buf, sizeof buf, "%zu bytes %08x", data.size(), h);
  return buf;
}

std::string Line(const char* kind, const std::u16string& name, std::uint32_t type,
                 const std::string& data, bool reliable = true) {
  return std::string(kind) + Utf8(name) + " " + std::to_string(type) + " " +
         (reliable ? Bytes(data) : "unreliable");
}

// One line per record: keys with their path, their values indented, then
// the orphan values.
std::vector<std::string> Describe(const DeletedRecords& found) {
  std::vector<std::string> lines;
  for (const DeletedKey& k : found.keys) {
    std::string path;
    for (const std::u16string& name : k.path) path += (path.empty() ? "" : "\\") + Utf8(name);
    lines.push_back("K " + path + (k.partial ? " (partial)" : ""));
    for (const DeletedValue& v : k.values)
      lines.push_back(Line("  V ", v.name, v.type, v.data, v.reliable));
  }
  for (const DeletedValue& v : found.orphanValues)
    lines.push_back(Line("O ", v.name, v.type, v.data, v.reliable));
  return lines;
}

DeletedRecords Find(const std::string& hive) {
  return FindDeletedRecords(reinterpret_cast<const std::uint8_t*>(hive.data()), hive.size());
}

// "YYYY-MM-DD hh:mm:ss" (UTC) as whole seconds of a FILETIME.
std::uint64_t FileTimeSeconds(const std::string& when) {
  int y = std::stoi(when.substr(0, 4)), m = std::stoi(when.substr(5, 2));
  const int d = std::stoi(when.substr(8, 2));
  y -= m <= 2;
  const int era = y / 400, yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long days = era * 146097L + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  const long secs = days * 86400 + std::stoi(when.substr(11, 2)) * 3600 +
                    std::stoi(when.substr(14, 2)) * 60 + std::stoi(when.substr(17, 2));
  return static_cast<std::uint64_t>(secs) + 11644473600ull;
}

// A REG_SZ as stored: UTF-16LE with its terminating NUL.
std::string Sz(const std::u16string& text) { return Utf16Bytes(text + u'\0'); }

struct SampleKey {
  std::string line;  // as Describe gives it
  const char* time;  // last written, UTC
};
struct Sample {
  const char* file;
  std::vector<SampleKey> keys;
  std::vector<std::string> lines;  // all of them, in order
};

// Exactly the records the samples' README lists, from files Windows wrote.
TEST(DeletedRecordsTest, WindowsSamplesGiveWhatTheirReadmeLists) {
  const Sample samples[] = {
      {"DeletedDataHive",
       {{"K 456", "2017-03-20 21:15:37"}},
       {"K 456", Line("  V ", u"v", kSz, Sz(u"123456")), Line("O ", u"v2", kSz, Sz(u"456"))}},
      {"DeletedTreeHive",
       {{"K 1\\2\\3\\4\\New Key #1", "2017-03-20 21:21:30"},
        {"K 1\\2\\3", "2017-03-20 21:21:35"},
        {"K 1\\2\\3\\4", "2017-03-20 21:21:35"},
        {"K 1\\2\\3\\4\\5", "2017-03-20 21:21:31"}},
       {"K 1\\2\\3\\4\\New Key #1", "K 1\\2\\3", "K 1\\2\\3\\4", "K 1\\2\\3\\4\\5"}},
  };
  for (const Sample& s : samples) {
    const DeletedRecords found = Find(UnpackSample(std::string("deleted-keys/") + s.file));
    EXPECT_EQ(Describe(found), s.lines) << s.file;
    ASSERT_EQ(found.keys.size(), s.keys.size()) << s.file;
    for (std::size_t i = 0; i < s.keys.size(); ++i) {
      EXPECT_EQ(found.keys[i].lastWrite / 10000000, FileTimeSeconds(s.keys[i].time))
          << s.file << ": " << s.keys[i].line;
    }
  }
}

struct Crafted {
  const char* name;
  std::function<std::string(std::vector<std::string>*)> hive;  // fills the expected lines
};

// The root key and a live key "Ωmega" below it; returns Ωmega's offset.
std::uint32_t LiveTree(CellWriter& w, std::uint32_t* root) {
  *root = w.Add(KeyNode(u"ROOT", kNone, 0, kNone, 0x2C), true);
  return w.Add(KeyNode(u"\u03A9mega", *root), true);
}

const Crafted kCrafted[] = {
    {"a key whose parent is itself",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       LiveTree(w, &root);
       const std::uint32_t self = w.Next();
       w.Add(KeyNode(u"\u0131", self), false);
       *want = {"K \xC4\xB1 (partial)"};
       return w.Hive(root);
     }},
    {"a key whose parent is a value, or out of the file",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       LiveTree(w, &root);
       const std::uint32_t value = w.Add(ValueKey(u"live", kDword, 0x80000004, 7), true);
       w.Add(KeyNode(u"\u4E2D", value), false);
       w.Add(KeyNode(u"far", 0x7FFFFFF8), false);
       w.Add(KeyNode(u"odd", 0x13), false);
       *want = {"K \xE4\xB8\xAD (partial)", "K far (partial)", "K odd (partial)"};
       return w.Hive(root);
     }},
    {"two keys that are each other's parent",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       LiveTree(w, &root);
       const std::uint32_t a = w.Next();
       const std::uint32_t b = a + 88;
       w.Add(KeyNode(u"a", b), false, 88);
       w.Add(KeyNode(u"b", a), false);
       *want = {"K b\\a (partial)", "K b (partial)"};
       return w.Hive(root);
     }},
    {"deleted keys below a live one, in one coalesced free cell",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       const std::uint32_t omega = LiveTree(w, &root);
       const std::uint32_t mid = w.Next();
       // The first record's size field covers the whole coalesced cell.
       const std::string first = KeyNode(u"\u4E2D", omega);
       const std::string second = KeyNode(u"\U0001F600 x", mid);
       std::string both = first;
       both.resize(88 - 4, '\0');
       both += Le32Bytes(104) + second;
       w.Add(both, false, 88 + 104 + 16);
       *want = {"K \xCE\xA9mega\\\xE4\xB8\xAD", "K \xCE\xA9mega\\\xE4\xB8\xAD\\\xF0\x9F\x98\x80 x"};
       return w.Hive(root);
     }},
    {"data offsets into a live cell, into the value itself, shared by two values",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       const std::uint32_t omega = LiveTree(w, &root);
       w.Add(ValueKey(u"into live", kBinary, 8, omega), false);
       const std::uint32_t self = w.Next();
       w.Add(ValueKey(u"into itself", kBinary, 8, self), false);
       const std::uint32_t data = w.Add("shared!!", false);
       w.Add(ValueKey(u"first", kBinary, 8, data), false);
       w.Add(ValueKey(u"second", kBinary, 8, data), false);
       *want = {Line("O ", u"into live", kBinary, "", false),
                Line("O ", u"into itself", kBinary, "", false),
                Line("O ", u"first", kBinary, "shared!!"),
                Line("O ", u"second", kBinary, "", false)};
       return w.Hive(root);
     }},
    {"records whose sizes do not hold them",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       LiveTree(w, &root);
       // A name running past its free cell, a size field short of its record,
       // a size not a multiple of 8; then one sound value.
       std::string longName = KeyNode(u"cut", kNone);
       longName[72] = static_cast<char>(0xF0);
       w.Add(longName, false);
       std::string shortSize = ValueKey(u"short", kDword, 0x80000004, 1);
       w.Add(Le32Bytes(0) + Le32Bytes(16) + shortSize, false);
       w.Add(Le32Bytes(0) + Le32Bytes(0x2C) + ValueKey(u"odd", kDword, 0x80000004, 1), false, 48);
       w.Add(ValueKey(u"sound", kDword, 0x80000004, 0x01020304), false);
       *want = {Line("O ", u"sound", kDword, Le32Bytes(0x01020304))};
       return w.Hive(root);
     }},
    {"a deleted key's list: longer than its cell, a live value in it, a value twice",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       const std::uint32_t omega = LiveTree(w, &root);
       const std::uint32_t live = w.Add(ValueKey(u"live", kDword, 0x80000004, 5), true);
       const std::uint32_t one = w.Add(ValueKey(u"\u03A9", kDword, 0x80000004, 1), false);
       const std::uint32_t data = w.Add(Sz(u"\u4E2D"), false);
       const std::uint32_t two = w.Add(ValueKey(u"two", kSz, 4, data), false);
       const std::uint32_t list =
           w.Add(Le32Bytes(one) + Le32Bytes(live) + Le32Bytes(two) + Le32Bytes(one), false);
       w.Add(KeyNode(u"k", omega, 1000, list), false);
       *want = {"K \xCE\xA9mega\\k", Line("  V ", u"\u03A9", kDword, Le32Bytes(1)),
                Line("  V ", u"two", kSz, Sz(u"\u4E2D"))};
       return w.Hive(root);
     }},
    {"a free value a live key lists, which the live reader refuses; a list reused",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       LiveTree(w, &root);
       const std::uint32_t listed = w.Add(ValueKey(u"listed", kDword, 0x80000004, 9), false);
       w.Add(KeyNode(u"live", root, 1, w.Add(Le32Bytes(listed), true)), true);
       const std::uint32_t lost = w.Add(ValueKey(u"lost", kDword, 0x80000004, 3), false);
       w.Add(KeyNode(u"gone", root, 1, w.Add(Le32Bytes(lost), true)), false);
       *want = {"K gone", Line("O ", u"listed", kDword, Le32Bytes(9)),
                Line("O ", u"lost", kDword, Le32Bytes(3))};
       return w.Hive(root);
     }},
    {"slack after a live key's name, not inside raw data",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       LiveTree(w, &root);
       const std::string inSlack = ValueKey(u"in slack", kDword, 0x80000004, 2);
       std::string key = KeyNode(u"big", root);
       key.resize(88 - 4, '\0');
       w.Add(key + Le32Bytes(32) + inSlack, true);
       w.Add(Le32Bytes(0) + Le32Bytes(32) + ValueKey(u"in data", kDword, 0x80000004, 2), true);
       *want = {Line("O ", u"in slack", kDword, Le32Bytes(2))};
       return w.Hive(root);
     }},
    {"records past the last hive bin",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       LiveTree(w, &root);
       std::string after(4096, '\0');
       const std::string vk =
           Le32Bytes(static_cast<std::uint32_t>(-32)) + ValueKey(u"after", kDword, 0x80000004, 6);
       after.replace(8, vk.size(), vk);
       const std::string nk = Le32Bytes(96) + KeyNode(u"after key", root);
       after.replace(64, nk.size(), nk);
       // The file ends 3 bytes short of 8 after the last record.
       after += Le32Bytes(32) + ValueKey(u"at end", kDword, 0x80000004, 8);
       *want = {"K after key", Line("O ", u"after", kDword, Le32Bytes(6)),
                Line("O ", u"at end", kDword, Le32Bytes(8))};
       return w.Hive(root, after);
     }},
    {"data in the offset field, Latin-1 names, the default value",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       LiveTree(w, &root);
       w.Add(KeyNode(u"\u00FCber", root), false);
       w.Add(ValueKey(u"\u00C9t\u00E9", kDword, 0x80000004, 0x11223344), false);
       w.Add(ValueKey(u"too long", kBinary, 0x80000008, 1), false);
       w.Add(ValueKey(u"", kSz, 0x80000000, 0), false);
       *want = {
           "K \xC3\xBC"
           "ber",
           Line("O ", u"\u00C9t\u00E9", kDword, Le32Bytes(0x11223344)),
           Line("O ", u"too long", kBinary, "", false), Line("O ", u"", kSz, "")};
       return w.Hive(root);
     }},
    {"big data whole, and with a segment allocated again",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       LiveTree(w, &root);
       std::string payload(20000, '\0');
       for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 % 251);
       for (const bool reused : {false, true}) {
         const std::uint32_t first = w.Add(payload.substr(0, 16344), false);
         const std::uint32_t second = w.Add(payload.substr(16344), reused);
         const std::uint32_t list = w.Add(Le32Bytes(first) + Le32Bytes(second), false);
         const std::uint32_t db = w.Add(std::string("db\x02\0", 4) + Le32Bytes(list), false);
         w.Add(ValueKey(reused ? u"reused" : u"whole", kBinary, 20000, db), false);
       }
       *want = {Line("O ", u"whole", kBinary, payload), Line("O ", u"reused", kBinary, "", false)};
       return w.Hive(root);
     }},
    {"key nodes stamped before 1990 or after 2290",
     [](std::vector<std::string>* want) {
       CellWriter w;
       std::uint32_t root = 0;
       LiveTree(w, &root);
       const std::uint64_t times[] = {0, 122756255990000000ull, 217427328010000000ull,
                                      122756256000000000ull};
       for (std::size_t i = 0; i < 4; ++i) {
         const std::uint64_t time = times[i];
         std::string nk = KeyNode(Numbered(u"t", i), root);
         nk.replace(4, 8,
                    Le32Bytes(static_cast<std::uint32_t>(time)) +
                        Le32Bytes(static_cast<std::uint32_t>(time >> 32)));
         w.Add(nk, false);
       }
       *want = {"K t3"};
       return w.Hive(root);
     }},
};

TEST(DeletedRecordsTest, CraftedCellsGiveSaneRecords) {
  for (const Crafted& c : kCrafted) {
    std::vector<std::string> want;
    const std::string hive = c.hive(&want);
    EXPECT_EQ(Describe(Find(hive)), want) << c.name;
  }
}

}  // namespace
}  // namespace platform
