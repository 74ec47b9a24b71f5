#include "MyRegistry/registry.h"

#include <gtest/gtest.h>

#include "tests/test_registry.h"

namespace {

using std::string;

class TRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.SetValue("", "nul", kRegSz, string("abc\0", 4));
    registry_.SetValue("", "bare", kRegSz, "abc");
    registry_.SetValue("", "inner", kRegSz, string("ab\0cd\0", 6));
    registry_.SetValue("", "empty", kRegSz, "");
    registry_.SetValue("", "emptyx", kRegExpandSz, "");
    registry_.SetValue("", "expand", kRegExpandSz, string("%TEMP%\\x\0", 9));
    registry_.SetValue("", "dword", kRegDword, string("\x2A\0\0\0", 4));
    registry_.SetValue("", "bin4", kRegBinary, string("\1\2\3\4", 4));
    registry_.SetValue("", "bin5", kRegBinary, string("\1\2\3\4\5", 5));
    registry_.SetValue("A\\B", "deep", kRegSz, string("deep\0", 5));
  }

  // A fresh object with the scratch key open.
  void Open(TRegistry& reg) { ASSERT_TRUE(reg.EnterKey(registry_.KeyPath(), false)); }

  TestRegistry registry_;
};

TEST(DecodeValueType, KnownAndUnknownCodes) {
  EXPECT_EQ(DecodeValueType(0), TValueKind::vkNone);
  EXPECT_EQ(DecodeValueType(1), TValueKind::vkString);
  EXPECT_EQ(DecodeValueType(7), TValueKind::vkMultiString);
  EXPECT_EQ(DecodeValueType(11), TValueKind::vkQWord);
  EXPECT_EQ(DecodeValueType(12), TValueKind::vkUnknown);
  EXPECT_EQ(DecodeValueType(0xFFFFFFFF), TValueKind::vkUnknown);
}

TEST_F(TRegistryTest, ReadText) {
  TRegistry reg;
  Open(reg);
  EXPECT_EQ(reg.ReadText("nul"), "abc");
  EXPECT_EQ(reg.ReadText("bare"), "abc");
  EXPECT_EQ(reg.ReadText("inner"), "ab");
  EXPECT_EQ(reg.ReadText("empty"), "");
  EXPECT_EQ(reg.ReadText("emptyx"), "");
  EXPECT_EQ(reg.ReadText("expand"), "%TEMP%\\x");
  EXPECT_EQ(reg.ReadText("missing"), "");
  try {
    reg.ReadText("dword");
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(),
              "Type de donn\xE9"
              "es incorrect pour 'dword'");
  }
}

TEST_F(TRegistryTest, ValueInformation) {
  TRegistry reg;
  Open(reg);
  TValueInfo info;
  ASSERT_TRUE(reg.QueryValueInfo("nul", info));
  EXPECT_EQ(info.Kind, TValueKind::vkString);
  EXPECT_EQ(info.Size, 4);
  EXPECT_EQ(reg.QueryValueSize("bare"), 3);
  EXPECT_EQ(reg.QueryValueSize("missing"), -1);
  EXPECT_FALSE(reg.HasValue("missing"));
  EXPECT_TRUE(reg.HasValue("NUL"));
}

TEST_F(TRegistryTest, NoKeyOpen) {
  TRegistry reg;
  EXPECT_EQ(reg.OpenKeyHandle(), 0u);
  EXPECT_FALSE(reg.HasValue("nul"));
  EXPECT_EQ(reg.QueryValueSize("nul"), -1);
  char buffer[8];
  TValueKind kind;
  EXPECT_THROW(reg.FetchValue("nul", buffer, sizeof buffer, kind), ERegistryException);
}

TEST_F(TRegistryTest, FetchIntoATooSmallBufferRaises) {
  TRegistry reg;
  Open(reg);
  char buffer[3];
  TValueKind kind;
  try {
    reg.FetchValue("nul", buffer, sizeof buffer, kind);
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(),
              "Echec \xE0 l'obtention des donn\xE9"
              "es pour 'nul'");
  }
}

TEST_F(TRegistryTest, EnterKeyPaths) {
  const string top = registry_.KeyPath();
  TRegistry reg;
  ASSERT_TRUE(reg.EnterKey("\\" + top, false));
  EXPECT_EQ(reg.OpenKeyPath(), top);
  ASSERT_TRUE(reg.EnterKey("A", false));
  EXPECT_EQ(reg.OpenKeyPath(), top + "\\A");
  ASSERT_TRUE(reg.EnterKey("B", false));
  EXPECT_EQ(reg.OpenKeyPath(), top + "\\A\\B");
  EXPECT_EQ(reg.ReadText("deep"), "deep");
  // An absolute path starts again from the root.
  ASSERT_TRUE(reg.EnterKey("\\" + top + "\\A", false));
  EXPECT_EQ(reg.OpenKeyPath(), top + "\\A");
  // An empty path opens the open key again.
  ASSERT_TRUE(reg.EnterKey("", false));
  EXPECT_EQ(reg.OpenKeyPath(), top + "\\A\\");
}

TEST_F(TRegistryTest, FailedEnterKeyKeepsTheOpenKey) {
  TRegistry reg;
  Open(reg);
  const platform::RegKey before = reg.OpenKeyHandle();
  EXPECT_FALSE(reg.EnterKey("NoSuchKey", false));
  EXPECT_EQ(reg.OpenKeyHandle(), before);
  EXPECT_EQ(reg.OpenKeyPath(), registry_.KeyPath());
  EXPECT_EQ(reg.ReadText("nul"), "abc");
}

TEST_F(TRegistryTest, EmptyPathWithNoKeyOpenOpensTheRoot) {
  TRegistry reg;
  ASSERT_TRUE(reg.EnterKey("", false));
  EXPECT_NE(reg.OpenKeyHandle(), 0u);
  EXPECT_EQ(reg.OpenKeyPath(), "");
  ASSERT_TRUE(reg.EnterKey(registry_.KeyPath(), false));
  EXPECT_EQ(reg.OpenKeyPath(), "\\" + registry_.KeyPath());
  EXPECT_EQ(reg.ReadText("bare"), "abc");
}

TEST_F(TRegistryTest, SelectRoot) {
  TRegistry reg;
  Open(reg);
  reg.SelectRoot(RootKeyHandleOf(kHkeyCurrentUser));
  EXPECT_NE(reg.OpenKeyHandle(), 0u);
  reg.SelectRoot(RootKeyHandleOf(kHkeyLocalMachine));
  EXPECT_EQ(reg.OpenKeyHandle(), 0u);
  EXPECT_EQ(reg.OpenKeyPath(), "");
}

TEST_F(TRegistryTest, TypedReadsCheckTheKindAfterTheFetch) {
  TRegistry reg;
  Open(reg);
  EXPECT_EQ(reg.ReadDWord("dword"), 42);
  try {
    reg.ReadDWord("bin4");
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(),
              "Type de donn\xE9"
              "es incorrect pour 'bin4'");
  }
  try {
    reg.ReadDWord("bin5");
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(),
              "Echec \xE0 l'obtention des donn\xE9"
              "es pour 'bin5'");
  }
  EXPECT_THROW(reg.ReadQWord("dword"), ERegistryException);
}

TEST_F(TRegistryTest, ReadBytesChecksKindAndSizeFirst) {
  TRegistry reg;
  Open(reg);
  unsigned char buffer[8] = {};
  EXPECT_EQ(reg.ReadBytes("bin5", buffer, sizeof buffer), 5);
  EXPECT_EQ(buffer[4], 5);
  EXPECT_EQ(reg.ReadBytes("missing", buffer, sizeof buffer), 0);
  EXPECT_THROW(reg.ReadBytes("nul", buffer, sizeof buffer), ERegistryException);
  unsigned char small[4] = {9, 9, 9, 9};
  EXPECT_THROW(reg.ReadBytes("bin5", small, sizeof small), ERegistryException);
  EXPECT_EQ(small[0], 9);
}

}  // namespace
