// The W calls on both builds: against the registry itself on Windows (Wine's
// under test), against the test store elsewhere. Names are listed and opened
// as stored, data read whole as stored, whatever its size; their limits are
// the same on both.
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

// The W side's own limits: a key name of 256 characters opens and 257 is
// refused, a path is not held to the A side's 260 characters, and a value
// name of more than 16383 is never found. Names end at their first NUL.
TEST(RegistryWideTest, NameLimits) {
  TestRegistry registry;
  const U16 longPath = U16(200, u'a') + u"\\" + U16(100, u'b');
  for (const U16& key : {U16(256, u'k'), longPath, U16(u"\u4E2D")}) {
    registry.SetValueW(u"W\\" + key, u"v", kRegSz, Bytes(key.substr(0, 3)));
  }
  registry.SetValueW(u"W", U16(16383, u'n'), kRegDword, "1638");
  registry.SetValueW(u"W", u"Sz", kRegSz, Bytes(u"\u00e9\u20ac\u4e2d"));
  RegKey w = 0;
  ASSERT_EQ(platform::OpenRegKeyW(RootKeyHandleOf(kHkeyCurrentUser),
                                  platform::AnsiToWide(registry.KeyPath()) + u"\\W", kKeyRead, &w),
            platform::kRegSuccess);
  // The open's status, and the value v of the key when it opens.
  const auto open = [w](const U16& path) {
    RegKey key = 0;
    const platform::RegStatus status = platform::OpenRegKeyW(w, path, kKeyRead, &key);
    if (status != platform::kRegSuccess) return std::to_string(status);
    std::uint32_t type = 0;
    std::string data;
    platform::QueryRegValueW(key, u"v", &type, &data);
    platform::CloseRegKey(key);
    return data;
  };
  EXPECT_EQ(open(U16(256, u'k')), Bytes(u"kkk"));
  EXPECT_EQ(open(U16(257, u'k')), "87");
  EXPECT_EQ(open(longPath), Bytes(u"aaa"));
  EXPECT_EQ(open(U16(u"\u4E2D\0xyz", 5)), Bytes(u"\u4E2D"));
  EXPECT_EQ(open(u"\\\u4E2D"), "161");
  const auto query = [w](const U16& name) {
    std::uint32_t type = 0;
    std::string data;
    const platform::RegStatus status = platform::QueryRegValueW(w, name, &type, &data);
    return status == platform::kRegSuccess ? data : std::to_string(status);
  };
  EXPECT_EQ(query(U16(16383, u'n')), "1638");
  EXPECT_EQ(query(U16(16384, u'n')), "2");
  EXPECT_EQ(query(U16(u"Sz\0xyz", 6)), Bytes(u"\u00e9\u20ac\u4e2d"));
  platform::CloseRegKey(w);
}

}  // namespace
