// A hive file the layout found that cannot be opened when first needed (it
// vanished, or its folder closed) is warned of once, never lost unseen.
#include "RegistryFiles/Hives/hive_tree.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/temp_dir.h"
#include "tests/tools/hive_fixture.h"

namespace platform {
namespace {

constexpr std::uint32_t kLocalMachine = 0x80000002;

TEST(HiveTreeTest, HiveGoneSinceTheLayoutIsWarnedOfOnce) {
  TempDir dir;
  dir.Write("SYSTEM", hivefix::MakeHive("syst\xC3\xA8me"));
  dir.Write("SAM", hivefix::MakeHive("sam"));
  std::string root = dir.Path("");
  root.pop_back();  // the trailing '/'
  HiveTree tree(root, false);
  ASSERT_EQ(unlink(dir.Path("SAM").c_str()), 0);
  const std::optional<KeyRef> machine = tree.Root(kLocalMachine);
  ASSERT_TRUE(machine.has_value());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(tree.Walk(*machine, u"SAM").has_value());
  EXPECT_FALSE(tree.Walk(*machine, u"sam").has_value());
  EXPECT_TRUE(tree.Walk(*machine, u"SYSTEM").has_value());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "hivTAP: ruche illisible : " + dir.Path("SAM") + "\n");
}

}  // namespace
}  // namespace platform
