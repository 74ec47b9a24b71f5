// Names outside Windows-1252 through the W calls, on each native store: each
// listed as stored, opened by its own name beneath its parent's open key, and
// its own value read back byte for byte, none passing the ANSI code page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MyRegistry/registry.h"
#include "Platform/charset_posix.h"
#include "Platform/registry.h"
#include "Platform/registry_store.h"
#include "RegistryFiles/Hives/hive_store.h"
#include "RegistryFiles/Wine/wine_prefix_store.h"
#include "tests/memory_store.h"
#include "tests/temp_dir.h"
#include "tests/tools/hive_fixture.h"

namespace {

using platform::RegKey;
using U16 = std::u16string;

// 'ı' beside 'i', names no ANSI code page holds, a surrogate pair, DEL and
// C1 controls (a hive keeps the last two in one-byte names, as Latin-1).
const std::vector<U16> kNames = {u"i",           u"\u0131",   u"\u03A9mega", u"\u01C5",  u"\u4E2D",
                                 u"\U0001F600x", u"a\u007Fb", u"c\u0081d",   u"e\u0080f"};

std::string Bytes(const U16& s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t));
}
// Each key holds one value, named after it, whose data is its name.
U16 ValueName(const U16& key) { return u"v" + key; }
std::string Data(const U16& key) { return Bytes(key + u'\0'); }

// Every unit outside printable ASCII as Wine writes it, \x and 4 digits.
std::string WineEscaped(const U16& s) {
  std::string out;
  for (const char16_t c : s) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%04x", static_cast<unsigned>(c));
    out += c >= 0x20 && c < 0x7F && c != '\\' && c != '"' ? std::string(1, char(c)) : buf;
  }
  return out;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  for (const unsigned char b : bytes) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02x,", b);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

void InstallMemory(const TempDir&) {
  auto store = std::make_unique<MemoryStore>();
  store->AddRoot(kHkeyLocalMachine, "\\Registry\\Machine");
  for (const U16& name : kNames) {
    store->Set(u"\\Registry\\Machine\\Software\\Names\\" + name, ValueName(name), platform::kRegSz,
               Data(name));
  }
  platform::SetRegistryStore(std::move(store));
}

void InstallWinePrefix(const TempDir& dir) {
  std::string text =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
  for (const U16& name : kNames) {
    text += "[Software\\\\Names\\\\" + WineEscaped(name) + "] 1700000000\n\"" +
            WineEscaped(ValueName(name)) + "\"=\"" + WineEscaped(name) + "\"\n\n";
  }
  dir.Write("system.reg", text);
  platform::SetRegistryStore(std::make_unique<platform::WinePrefixStore>(dir.Path("")));
}

// The names written by hivexregedit, from UTF-8, into a SOFTWARE hive.
void InstallHive(const TempDir& dir) {
  dir.Write("SOFTWARE", hivefix::MakeHive("x"));
  std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Names]\r\n\r\n";
  for (const U16& name : kNames) {
    reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Names\\" + platform::Utf16ToUtf8(name) + "]\r\n\"" +
           platform::Utf16ToUtf8(ValueName(name)) + "\"=hex(1):" + Hex(Data(name)) + "\r\n\r\n";
  }
  dir.Write("names.reg", reg);
  const std::string command = "hivexregedit --merge --prefix 'HKEY_LOCAL_MACHINE\\SOFTWARE' '" +
                              dir.Path("SOFTWARE") + "' '" + dir.Path("names.reg") + "' >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::remove(dir.Path("names.reg").c_str());
  platform::SetRegistryStore(std::make_unique<platform::HiveStore>(dir.Path(""), false));
}

struct Store {
  const char* what;
  std::function<void(const TempDir&)> install;
};

const Store kStores[] = {
    {"memory", InstallMemory},
    {"Wine prefix", InstallWinePrefix},
    {"hive", InstallHive},
};

std::vector<U16> Sorted(std::vector<U16> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(UnicodeNamesTest, ListedOpenedAndReadAsStored) {
  for (const Store& s : kStores) {
    SCOPED_TRACE(s.what);
    TempDir dir;
    s.install(dir);
    RegKey parent = 0;
    ASSERT_EQ(
        platform::OpenRegKeyW(RootKeyHandleOf(kHkeyLocalMachine), u"Software\\Names", 0, &parent),
        platform::kRegSuccess);
    std::vector<U16> listed;
    ASSERT_EQ(platform::ListRegSubKeysW(parent, &listed), platform::kRegSuccess);
    EXPECT_EQ(Sorted(listed), Sorted(kNames));
    platform::RegKeyInfo info;
    ASSERT_EQ(platform::QueryRegKeyInfo(parent, &info), platform::kRegSuccess);
    EXPECT_EQ(info.subKeys, kNames.size());
    EXPECT_EQ(info.values, 0u);
    for (const U16& name : kNames) {
      SCOPED_TRACE(platform::Utf16ToUtf8(name));
      RegKey key = 0;
      ASSERT_EQ(platform::OpenRegKeyW(parent, name, 0, &key), platform::kRegSuccess);
      std::vector<U16> values;
      EXPECT_EQ(platform::ListRegValuesW(key, &values), platform::kRegSuccess);
      EXPECT_EQ(values, std::vector<U16>{ValueName(name)});
      std::uint32_t type = 0;
      std::string data;
      EXPECT_EQ(platform::QueryRegValueW(key, ValueName(name), &type, &data),
                platform::kRegSuccess);
      EXPECT_EQ(type, platform::kRegSz);
      EXPECT_EQ(data, Data(name));
      ASSERT_EQ(platform::QueryRegKeyInfo(key, &info), platform::kRegSuccess);
      EXPECT_EQ(info.subKeys, 0u);
      EXPECT_EQ(info.values, 1u);
      EXPECT_FALSE(platform::IsRegLinkW(parent, name));
      platform::CloseRegKey(key);
    }
    platform::CloseRegKey(parent);
    platform::SetRegistryStore(nullptr);
  }
}

}  // namespace
