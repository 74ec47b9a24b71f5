// The ANSI entry points' name limits, measured under Wine, hold here for any
// store: the test store has none of its own. So do the W ones', and the A
// calls' view of a Unicode store through Windows-1252.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "MyRegistry/registry.h"
#include "Platform/charset_posix.h"
#include "Platform/registry.h"
#include "Platform/registry_store.h"
#include "tests/memory_store.h"
#include "tests/test_registry.h"

namespace {

using std::string;

class PosixRegistryNames : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.SetValue(string(256, 'k'), "v", kRegSz, "256");
    registry_.SetValue(string(257, 'k'), "v", kRegSz, "257");
    registry_.SetValue(string(200, 'a') + "\\" + string(59, 'b'), "v", kRegSz, "260");
    registry_.SetValue(string(200, 'a') + "\\" + string(60, 'b'), "v", kRegSz, "261");
    registry_.SetValue("", string(16383, 'n'), kRegSz, "16383");
    registry_.SetValue("", string(16384, 'n'), kRegSz, "16384");
    registry_.SetValue("", "Sz", kRegSz, "abc");
    ASSERT_EQ(
        platform::OpenRegKey(RootKeyHandleOf(kHkeyCurrentUser), registry_.KeyPath(), 0, &scratch_),
        platform::kRegSuccess);
  }
  void TearDown() override { platform::CloseRegKey(scratch_); }

  // The value v of the subkey `path` of the scratch key, or "-" when the key
  // does not open.
  string ReadV(const string& path) {
    platform::RegKey key = 0;
    if (platform::OpenRegKey(scratch_, path, 0, &key) != platform::kRegSuccess) return "-";
    string text = Query(key, "v");
    platform::CloseRegKey(key);
    return text;
  }
  string Query(platform::RegKey key, const string& name) {
    char data[16] = {};
    std::uint32_t type = 0;
    std::uint32_t size = sizeof data;
    if (platform::QueryRegValue(key, name, &type, data, &size) != platform::kRegSuccess) {
      return "-";
    }
    return string(data, size);
  }

  TestRegistry registry_;
  platform::RegKey scratch_ = 0;
};

TEST_F(PosixRegistryNames, KeyNamesAndPathsAtTheirLimits) {
  EXPECT_EQ(ReadV(string(256, 'k')), "256");
  EXPECT_EQ(ReadV(string(257, 'k')), "-");
  EXPECT_EQ(ReadV(string(200, 'a') + "\\" + string(59, 'b')), "260");
  EXPECT_EQ(ReadV(string(200, 'a') + "\\" + string(60, 'b')), "-");
  // The length wraps at 65536, and the path ends at its first NUL.
  EXPECT_EQ(ReadV(string(256, 'k') + string(65536, '\\')), "256");
  EXPECT_EQ(ReadV(string(256, 'k') + string(1, '\0') + string(300, 'x')), "256");
}

TEST_F(PosixRegistryNames, ValueNamesAtTheirLimits) {
  EXPECT_EQ(Query(scratch_, string(16383, 'n')), "16383");
  EXPECT_EQ(Query(scratch_, string(16384, 'n')), "-");
  EXPECT_EQ(Query(scratch_, "Sz" + string(65536, 'x')), "abc");
  EXPECT_EQ(Query(scratch_, string("Sz\0xyz", 6)), "abc");
}

using U16 = std::u16string;

std::string Bytes(const U16& s) {
  return string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t));
}

class PosixRegistryWide : public ::testing::Test {
 protected:
  void SetUp() override {
    auto store = std::make_unique<MemoryStore>();
    const U16 base = platform::WidenAnsi(MemoryStore::kUserRoot) + u"\\W\\";
    for (const U16& key : {U16(256, u'k'), U16(257, u'k'), U16(200, u'a') + u"\\" + U16(100, u'b'),
                           U16(u"\u00e9t\u00e9"), U16(u"\u4e2d")}) {
      store->Set(base + key, u"v", platform::kRegSz, Bytes(key.substr(0, 3)));
    }
    store->Set(base + u"\u00e9t\u00e9", U16(16383, u'n'), platform::kRegDword, "1638");
    store->Set(base + u"\u00e9t\u00e9", U16(16384, u'n'), platform::kRegDword, "1639");
    store->Set(base + u"\u00e9t\u00e9", u"Sz", platform::kRegSz, Bytes(u"\u00e9\u20ac\u4e2d"));
    platform::SetRegistryStore(std::move(store));
    ASSERT_EQ(platform::OpenRegKeyW(RootKeyHandleOf(kHkeyCurrentUser), u"W", 0, &w_),
              platform::kRegSuccess);
  }
  void TearDown() override { platform::SetRegistryStore(nullptr); }

  // The open's status, and the value v of the key when it opens.
  string OpenW(const U16& path) {
    platform::RegKey key = 0;
    const platform::RegStatus status = platform::OpenRegKeyW(w_, path, 0, &key);
    if (status != platform::kRegSuccess) return std::to_string(status);
    std::uint32_t type = 0;
    string data;
    platform::QueryRegValueW(key, u"v", &type, &data);
    platform::CloseRegKey(key);
    return data;
  }
  string QueryW(const U16& name) {
    platform::RegKey key = 0;
    platform::OpenRegKeyW(w_, u"\u00e9t\u00e9", 0, &key);
    std::uint32_t type = 0;
    string data;
    const platform::RegStatus status = platform::QueryRegValueW(key, name, &type, &data);
    platform::CloseRegKey(key);
    return status == platform::kRegSuccess ? data : std::to_string(status);
  }

  platform::RegKey w_ = 0;
};

TEST_F(PosixRegistryWide, KeyNamesAndPathsAtTheirLimits) {
  EXPECT_EQ(OpenW(U16(256, u'k')), Bytes(u"kkk"));
  EXPECT_EQ(OpenW(U16(257, u'k')), "87");
  // No 260-character limit on the W side; the A side keeps its own.
  const U16 longPath = U16(200, u'a') + u"\\" + U16(100, u'b');
  EXPECT_EQ(OpenW(longPath), Bytes(u"aaa"));
  platform::RegKey key = 0;
  EXPECT_EQ(platform::OpenRegKey(w_, string(200, 'a') + "\\" + string(100, 'b'), 0, &key),
            platform::kRegMoreData);
  EXPECT_EQ(OpenW(U16(u"\u4e2d\0xyz", 5)), Bytes(u"\u4e2d"));
  EXPECT_EQ(OpenW(u"\\\u4e2d"), "161");
}

TEST_F(PosixRegistryWide, ValueNamesAtTheirLimits) {
  EXPECT_EQ(QueryW(U16(16383, u'n')), "1638");
  EXPECT_EQ(QueryW(U16(16384, u'n')), "2");
  EXPECT_EQ(QueryW(U16(u"Sz\0xyz", 6)), Bytes(u"\u00e9\u20ac\u4e2d"));
}

// What Windows-1252 holds comes through the A calls byte for byte, the rest
// as '?', each UTF-16 unit one byte, sizes included.
TEST_F(PosixRegistryWide, AnsiCallsNarrowNamesAndStrings) {
  std::vector<string> names;
  ASSERT_EQ(platform::ListRegSubKeys(w_, &names), platform::kRegSuccess);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<string>{"?", string(200, 'a'), string(256, 'k'), string(257, 'k'),
                                        "\xE9t\xE9"}));
  platform::RegKey key = 0;
  ASSERT_EQ(platform::OpenRegKey(w_, "\xC9T\xC9", 0, &key), platform::kRegSuccess);
  std::uint32_t type = 0, size = 0;
  ASSERT_EQ(platform::QueryRegValue(key, "SZ", &type, nullptr, &size), platform::kRegSuccess);
  EXPECT_EQ(size, 3u);
  char data[4];
  ASSERT_EQ(platform::QueryRegValue(key, "Sz", &type, data, &size), platform::kRegSuccess);
  EXPECT_EQ(string(data, size), "\xE9\x80?");
  // Other types come as stored.
  size = sizeof data;
  EXPECT_EQ(platform::QueryRegValue(key, string(16383, 'n'), &type, data, &size),
            platform::kRegSuccess);
  EXPECT_EQ(string(data, size), "1638");
  platform::CloseRegKey(key);
}

}  // namespace
