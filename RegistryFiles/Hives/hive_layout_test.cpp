#include "RegistryFiles/Hives/hive_layout.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "RegistryFiles/Hives/hive_file.h"
#include "tests/temp_dir.h"

namespace platform {
namespace {

// A drive whose folders are spelt as Windows spells them.
class Drive : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"Users", "Users/Anna", "Windows", "Windows/ServiceProfiles",
                            "Windows/ServiceProfiles/LocalService"}) {
      mkdir(dir_.Path(dir).c_str(), 0755);
    }
    dir_.Write("Users/Anna/ntuser.dat", "x");
    dir_.Write("Windows/ServiceProfiles/LocalService/NTUSER.DAT", "x");
  }
  std::string Root() const {
    std::string root = dir_.Path("");
    root.pop_back();  // the trailing '/'
    return root;
  }
  TempDir dir_;
};

TEST_F(Drive, MapsWindowsPathsInAnyLetterCase) {
  const std::string anna = dir_.Path("Users/Anna");
  const struct {
    const char16_t* windows;
    std::string expected;
  } cases[] = {
      {u"C:\\Users\\anna", anna},
      {u"d:\\USERS\\ANNA", anna},  // the drive is the one mounted here
      {u"%SystemDrive%\\Users\\Anna", anna},
      {u"%systemroot%\\ServiceProfiles\\LocalService",
       dir_.Path("Windows/ServiceProfiles/LocalService")},
      {u"C:\\Users\\..\\Users\\Anna", ""},  // never leaves the drive
      {u"C:\\Users\\nobody", ""},
      {u"\\\\server\\share\\anna", ""},
      {u"Users\\Anna", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MapWindowsPath(Root(), c.windows), c.expected) << Utf16ToUtf8(c.windows);
  }
}

TEST_F(Drive, ChoosesTheOneOrdinaryUserWithAHive) {
  const std::vector<UserProfile> profiles = {
      ProfileAt(Root(), "S-1-5-19", u"%systemroot%\\ServiceProfiles\\LocalService"),
      ProfileAt(Root(), "S-1-5-21-1-2-3-1001", u"C:\\Users\\anna"),
      ProfileAt(Root(), "S-1-5-21-1-2-3-1002", u"C:\\Users\\gone"),
  };
  EXPECT_EQ(profiles[1].folder, "Anna");
  const struct {
    std::string wanted;
    int chosen;
    bool warns;
  } cases[] = {
      {"", 1, false},         {"anna", 1, false}, {"s-1-5-21-1-2-3-1001", 1, false},
      {"S-1-5-19", 0, false},  // a service profile, when named
      {"gone", -1, true},      // listed, but holds no NTUSER.DAT
  };
  for (const auto& c : cases) {
    std::string warning;
    EXPECT_EQ(ChooseUser(profiles, c.wanted, &warning), c.chosen) << c.wanted;
    EXPECT_EQ(!warning.empty(), c.warns) << c.wanted;
  }
}

TEST(BaseBlock, ChecksumAndDirtiness) {
  std::string block(kBaseBlockSize, '\0');
  block.replace(0, 4, "regf");
  auto* b = reinterpret_cast<unsigned char*>(&block[0]);
  // XOR of "regf" alone; 0 and 0xFFFFFFFF are never stored.
  EXPECT_EQ(BaseBlockChecksum(b), 0x66676572u);
  block.replace(0, 4, std::string(4, '\0'));
  EXPECT_EQ(BaseBlockChecksum(b), 1u);
  block.replace(0, 4, std::string(4, '\xFF'));
  EXPECT_EQ(BaseBlockChecksum(b), 0xFFFFFFFEu);

  block.replace(0, 4, "regf");
  block[4] = 3;
  block[8] = 3;
  block.replace(508, 4, "\x72\x65\x67\x66");
  EXPECT_FALSE(InspectBaseBlock(b, block.size()).Dirty());
  block[4] = 4;  // a write that did not finish
  block[508] ^= 3 ^ 4;
  const BaseBlockState state = InspectBaseBlock(b, block.size());
  EXPECT_TRUE(state.checksumOk);
  EXPECT_TRUE(state.Dirty());
  block[508] ^= 1;
  EXPECT_FALSE(InspectBaseBlock(b, block.size()).checksumOk);
  EXPECT_FALSE(InspectBaseBlock(b, 100).signature);
}

}  // namespace
}  // namespace platform
