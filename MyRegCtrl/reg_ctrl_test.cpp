#include "MyRegCtrl/reg_ctrl.h"

#include <gtest/gtest.h>

#include "tests/test_registry.h"

namespace {

using std::string;

class ReadValueAsTextTest : public ::testing::Test {
 protected:
  string Read(const string& name, const string& defaultText = "") {
    return ReadValueAsText(kHkeyCurrentUser, registry_.KeyPath() + "\\", name, defaultText);
  }
  void Set(const string& name, std::uint32_t type, const string& data) {
    registry_.SetValue("", name, type, data);
  }

  TestRegistry registry_;
};

TEST_F(ReadValueAsTextTest, Strings) {
  Set("sz", kRegSz, string("fond.bmp\0", 9));
  Set("expand", kRegExpandSz, string("%SystemRoot%\\x\0", 15));
  Set("accent", kRegSz, string("caf\xE9\0", 5));
  EXPECT_EQ(Read("sz"), "fond.bmp");
  EXPECT_EQ(Read("SZ"), "fond.bmp");
  EXPECT_EQ(Read("expand"), "%SystemRoot%\\x");
  EXPECT_EQ(Read("accent"), "caf\xE9");
}

TEST_F(ReadValueAsTextTest, Numbers) {
  const struct {
    const char* bytes;
    const char* text;
  } dwords[] = {{"\0\0\0\0", "0"},
                {"\xFF\xFF\xFF\x7F", "2147483647"},
                {"\0\0\0\x80", "-2147483648"},
                {"\xFF\xFF\xFF\xFF", "-1"},
                {"\x39\x30\0\0", "12345"}};
  for (const auto& d : dwords) {
    Set("d", kRegDword, string(d.bytes, 4));
    EXPECT_EQ(Read("d"), d.text);
  }
  const struct {
    const char* bytes;
    const char* text;
  } qwords[] = {{"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", "-1"},
                {"\0\0\0\0\0\0\0\x80", "-9223372036854775808"},
                {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", "9223372036854775807"},
                {"\0\0\0\0\1\0\0\0", "4294967296"}};
  for (const auto& q : qwords) {
    Set("q", kRegQword, string(q.bytes, 8));
    EXPECT_EQ(Read("q"), q.text);
  }
  // Data longer than the number cannot be fetched into it.
  Set("long", kRegDword, string("\1\0\0\0\0\0\0\0", 8));
  EXPECT_EQ(Read("long", "default"), "default");
  // Data shorter than the number fills a cleared one.
  Set("short", kRegDword, string("\x05", 1));
  EXPECT_EQ(Read("short"), "5");
  Set("shortq", kRegQword, string("\xFF\xFF\xFF\xFF", 4));
  EXPECT_EQ(Read("shortq"), "4294967295");
}

TEST_F(ReadValueAsTextTest, Binary) {
  Set("b", kRegBinary, string("\0\xAB\x0F", 3));
  EXPECT_EQ(Read("b"), "00AB0F");
  Set("empty", kRegBinary, "");
  EXPECT_EQ(Read("empty", "default"), "");
  string bytes;
  for (int i = 0; i < 255; ++i) bytes += static_cast<char>(i);
  Set("b254", kRegBinary, bytes.substr(0, 254));
  const string text = Read("b254");
  ASSERT_EQ(text.size(), 508u);
  EXPECT_EQ(text.substr(0, 6), "000102");
  EXPECT_EQ(text.substr(502), "FBFCFD");
  Set("b255", kRegBinary, bytes);
  EXPECT_EQ(Read("b255", "default"), "default");
}

TEST_F(ReadValueAsTextTest, MultiStringsKeepEveryString) {
  const struct {
    string data;
    string text;
  } cases[] = {
      {string("a\0b\0c\0\0", 7), "a\r\nb\r\nc"},
      {string("\0", 1), ""},
      {string("\0\0", 2), ""},
      {"", ""},
      {string("a\0\0b\0\0", 6), "a\r\n\r\nb"},
      {string("a\0bc\0", 5), "a\r\nbc"},
      {string("abc\0", 4), "abc"},
      {string("a\0b", 3), "a\r\nb"},
      {string("caf\xE9\0th\xE9\0\0", 10), "caf\xE9\r\nth\xE9"},
  };
  for (const auto& c : cases) {
    Set("m", kRegMultiSz, c.data);
    EXPECT_EQ(Read("m", "default"), c.text);
  }
}

TEST_F(ReadValueAsTextTest, OtherKindsGiveTheDefault) {
  const std::uint32_t types[] = {
      kRegNone, kRegDwordBigEndian, kRegLink, kRegResourceList, 9, 10, 12, 0x12345};
  for (const std::uint32_t type : types) {
    Set("other", type, string("\1\2\3\4", 4));
    EXPECT_EQ(Read("other", "default"), "default") << type;
  }
}

TEST_F(ReadValueAsTextTest, UnreadableValuesGiveTheDefault) {
  Set("v", kRegSz, string("x\0", 2));
  EXPECT_EQ(Read("missing", "default"), "default");
  EXPECT_EQ(ReadValueAsText(kHkeyCurrentUser, "NoSuchKey\\", "v", "default"), "default");
  EXPECT_EQ(ReadValueAsText(kHkeyDynData, "", "v", "default"), "default");
  EXPECT_EQ(ReadValueAsText(0, "", "v", "default"), "default");
}

TEST_F(ReadValueAsTextTest, EmptyPathAndEmptyName) {
  // An empty path opens the root itself; the scratch key's default value is
  // then reached by the key's own name.
  EXPECT_EQ(ReadValueAsText(kHkeyCurrentUser, "", "NoSuchRootValue", "default"), "default");
  EXPECT_EQ(ReadValueAsText(kHkeyCurrentUser, registry_.KeyPath() + "\\", "", "d"), "scratch");
}

}  // namespace
