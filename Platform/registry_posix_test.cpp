// The ANSI entry points' name limits, measured under Wine, hold here for any
// store: the test store has none of its own. The A calls see a Unicode
// store through Windows-1252.
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

// What Windows-1252 holds comes through the A calls byte for byte, the rest
// as '?', each UTF-16 unit one byte, sizes included.
TEST(PosixRegistryAnsi, NamesAndStringsNarrowed) {
  auto store = std::make_unique<MemoryStore>();
  const U16 base = platform::WidenAnsi(MemoryStore::kUserRoot) + u"\\W\\";
  store->Set(base + u"\u4e2d", u"v", platform::kRegSz, Bytes(u"v"));
  store->Set(base + u"\u00e9t\u00e9", u"Sz", platform::kRegSz, Bytes(u"\u00e9\u20ac\u4e2d"));
  store->Set(base + u"\u00e9t\u00e9", u"Dw", platform::kRegDword, Bytes(u"\u4e2d\u00e9"));
  platform::SetRegistryStore(std::move(store));
  platform::RegKey w = 0;
  ASSERT_EQ(platform::OpenRegKey(RootKeyHandleOf(kHkeyCurrentUser), "W", 0, &w),
            platform::kRegSuccess);
  std::vector<string> names;
  ASSERT_EQ(platform::ListRegSubKeys(w, &names), platform::kRegSuccess);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<string>{"?", "\xE9t\xE9"}));
  platform::RegKey key = 0;
  ASSERT_EQ(platform::OpenRegKey(w, "\xC9T\xC9", 0, &key), platform::kRegSuccess);
  std::uint32_t type = 0, size = 0;
  ASSERT_EQ(platform::QueryRegValue(key, "SZ", &type, nullptr, &size), platform::kRegSuccess);
  EXPECT_EQ(size, 3u);
  char data[4];
  ASSERT_EQ(platform::QueryRegValue(key, "Sz", &type, data, &size), platform::kRegSuccess);
  EXPECT_EQ(string(data, size), "\xE9\x80?");
  // Other types come as stored.
  size = sizeof data;
  ASSERT_EQ(platform::QueryRegValue(key, "Dw", &type, data, &size), platform::kRegSuccess);
  EXPECT_EQ(string(data, size), Bytes(u"\u4e2d\u00e9"));
  platform::CloseRegKey(key);
  platform::CloseRegKey(w);
  platform::SetRegistryStore(nullptr);
}

}  // namespace
