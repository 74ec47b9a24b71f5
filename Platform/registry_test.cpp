// The W calls on both builds: against the registry itself on Windows (Wine's
// under test), against the test store elsewhere. Names are listed and opened
// as stored, data read whole as stored, whatever its size.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "MyRegistry/registry.h"
#include "Platform/codepage.h"
#include "Platform/registry.h"
#include "tests/test_registry.h"

namespace {

using platform::RegKey;
using U16 = std::u16string;

std::string Bytes(const U16& s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t));
}

std::vector<U16> Sorted(std::vector<U16> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(RegistryWideTest, NamesAndDataAsStored) {
  // 'ı' beside 'i', names no ANSI code page holds, a surrogate pair, DEL
  // and a C1 control.
  const std::vector<U16> names = {u"i",      u"\u0131",      u"\u03A9mega", u"\u01C5",
                                  u"\u4E2D", u"\U0001F600x", u"a\u007Fb",   u"c\u0081d"};
  TestRegistry registry;
  for (const U16& name : names) {
    registry.SetValueW(u"W\\" + name, u"v" + name, kRegSz, Bytes(name + u'\0'));
  }
  // Bigger than the first buffer the Windows build reads into.
  std::string big(1000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  registry.SetValueW(u"W", u"\u4E2D big", kRegBinary, big);

  RegKey parent = 0;
  ASSERT_EQ(
      platform::OpenRegKeyW(RootKeyHandleOf(kHkeyCurrentUser),
                            platform::AnsiToWide(registry.KeyPath()) + u"\\W", kKeyRead, &parent),
      platform::kRegSuccess);
  std::vector<U16> listed;
  ASSERT_EQ(platform::ListRegSubKeysW(parent, &listed), platform::kRegSuccess);
  EXPECT_EQ(Sorted(listed), Sorted(names));
  ASSERT_EQ(platform::ListRegValuesW(parent, &listed), platform::kRegSuccess);
  EXPECT_EQ(listed, std::vector<U16>{u"\u4E2D big"});
  std::uint32_t type = 0;
  std::string data;
  ASSERT_EQ(platform::QueryRegValueW(parent, u"\u4E2D BIG", &type, &data), platform::kRegSuccess);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(data, big);
  platform::RegKeyInfo info;
  ASSERT_EQ(platform::QueryRegKeyInfo(parent, &info), platform::kRegSuccess);
  EXPECT_EQ(info.subKeys, names.size());
  EXPECT_EQ(info.values, 1u);

  for (const U16& name : names) {
    SCOPED_TRACE(Bytes(name));
    RegKey key = 0;
    ASSERT_EQ(platform::OpenRegKeyW(parent, name, kKeyRead, &key), platform::kRegSuccess);
    ASSERT_EQ(platform::ListRegValuesW(key, &listed), platform::kRegSuccess);
    EXPECT_EQ(listed, std::vector<U16>{u"v" + name});
    ASSERT_EQ(platform::QueryRegValueW(key, u"v" + name, &type, &data), platform::kRegSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(data, Bytes(name + u'\0'));
    ASSERT_EQ(platform::QueryRegKeyInfo(key, &info), platform::kRegSuccess);
    EXPECT_EQ(info.subKeys, 0u);
    EXPECT_EQ(info.values, 1u);
    EXPECT_FALSE(platform::IsRegLinkW(parent, name));
    platform::CloseRegKey(key);
  }
  EXPECT_EQ(platform::QueryRegValueW(parent, u"missing", &type, &data), platform::kRegFileNotFound);
  RegKey key = 0;
  EXPECT_EQ(platform::OpenRegKeyW(parent, u"\u4E2E", kKeyRead, &key), platform::kRegFileNotFound);
  platform::CloseRegKey(parent);
}

}  // namespace
