// Recovery at the scale a hostile hive can force: many free cells, deep
// chains of keys, data that many records name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "RegistryFiles/Hives/hive_deleted.h"
#include "tests/tools/deleted_fixture.h"

namespace platform {
namespace {

using hivefix::CellWriter;
using hivefix::KeyNode;
using hivefix::Numbered;
using hivefix::ValueKey;
constexpr std::uint32_t kNone = hivefix::kNoCell;
constexpr std::uint32_t kBinary = 3;

DeletedRecords Find(const std::string& hive) {
  return FindDeletedRecords(reinterpret_cast<const std::uint8_t*>(hive.data()), hive.size());
}

// 100,000 free cells: a chain of deleted keys deeper than Windows nests
// them, then values that all name one 16,000-byte data cell: each key's
// path ends 512 names up, and the shared data is read once.
TEST(DeletedRecordsTest, HundredThousandFreeCells) {
  constexpr std::size_t kKeys = 600, kCells = 100000, kData = 16000;
  CellWriter w;
  const std::uint32_t root = w.Add(KeyNode(u"ROOT", kNone, 0, kNone, 0x2C), true);
  std::uint32_t parent = root;
  for (std::size_t i = 0; i < kKeys; ++i) {
    const std::uint32_t at = w.Next();
    w.Add(KeyNode(Numbered(u"\u4E2D", i), parent), false);
    parent = at;
  }
  const std::uint32_t data = w.Add(std::string(kData, 'd'), false);
  for (std::size_t i = kKeys + 1; i < kCells; ++i)
    w.Add(ValueKey(u"v", kBinary, static_cast<std::uint32_t>(kData), data), false);
  const DeletedRecords found = Find(w.Hive(root));

  ASSERT_EQ(found.keys.size(), kKeys);
  for (std::size_t i = 0; i < kKeys; ++i) {
    const DeletedKey& k = found.keys[i];
    ASSERT_EQ(k.path.size(), std::min<std::size_t>(i + 1, 512)) << i;
    EXPECT_EQ(k.partial, i >= 512) << i;
    EXPECT_EQ(k.path.front(), Numbered(u"\u4E2D", i + 1 - k.path.size())) << i;
    EXPECT_EQ(k.path.back(), Numbered(u"\u4E2D", i)) << i;
  }
  ASSERT_EQ(found.orphanValues.size(), kCells - kKeys - 1);
  std::size_t sound = 0;
  for (const DeletedValue& v : found.orphanValues) sound += v.reliable;
  EXPECT_EQ(sound, 1u);
  EXPECT_TRUE(found.orphanValues.front().data == std::string(kData, 'd'));
}

// Deleted keys below one deep live chain of long names: their paths share
// it, and what they hold in all stays within a bound of the hive's size.
TEST(DeletedRecordsTest, PathsSharingADeepChainStayWithinTheHiveSize) {
  constexpr std::size_t kDepth = 500, kLeaves = 2000;
  CellWriter w;
  const std::uint32_t root = w.Add(KeyNode(u"ROOT", kNone, 0, kNone, 0x2C), true);
  std::uint32_t parent = root;
  const std::u16string longName(2000, u'\u00E9');
  for (std::size_t i = 0; i < kDepth; ++i) {
    const std::uint32_t at = w.Next();
    w.Add(KeyNode(longName, parent), true);
    parent = at;
  }
  for (std::size_t i = 0; i < kLeaves; ++i) w.Add(KeyNode(Numbered(u"\u0131", i), parent), false);
  const std::string hive = w.Hive(root);
  const DeletedRecords found = Find(hive);

  ASSERT_EQ(found.keys.size(), kLeaves);
  EXPECT_EQ(found.keys.front().path.size(), kDepth + 1);
  EXPECT_FALSE(found.keys.front().partial);
  EXPECT_EQ(found.keys.back().path, std::vector<std::u16string>{Numbered(u"\u0131", kLeaves - 1)});
  EXPECT_TRUE(found.keys.back().partial);
  std::size_t units = 0;
  for (const DeletedKey& k : found.keys)
    for (const std::u16string& name : k.path) units += name.size();
  EXPECT_LE(units, 4 * hive.size());
}

}  // namespace
}  // namespace platform
