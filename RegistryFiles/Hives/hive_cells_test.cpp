#include "RegistryFiles/Hives/hive_cells.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegistryFiles/Hives/hive_file.h"
#include "RegistryFiles/Hives/hive_node.h"
#include "tests/temp_dir.h"
#include "tests/tools/hive_fixture.h"

namespace platform {
namespace {

// One hive bin of hand-placed cells after a blank base block.
class Image {
 public:
  Image() : bytes_(4096 + 4096, '\0') { bytes_.replace(4096, 4, "hbin"); }
  // A cell holding `body` at `at` (relative to the bin data); its offset.
  std::uint32_t Cell(std::uint32_t at, const std::string& body) {
    const std::uint32_t size = (4 + body.size() + 7) & ~7u;
    Put(at, 0u - size);
    bytes_.replace(4096 + at + 4, body.size(), body);
    return at;
  }
  std::uint32_t Key(std::uint32_t at, const std::string& name, std::uint32_t subkeys,
                    std::uint32_t list, bool compressed = true) {
    std::string nk(76, '\0');
    nk.replace(0, 2, "nk");
    nk[2] = compressed ? 0x20 : 0;
    Set(&nk, 20, subkeys);
    Set(&nk, 28, list);
    nk[72] = static_cast<char>(name.size());
    return Cell(at, nk + name);
  }
  static std::string List(const char* kind, const std::vector<std::uint32_t>& entries,
                          std::size_t stride, std::size_t count) {
    std::string body(4 + stride * entries.size(), '\0');
    body.replace(0, 2, kind);
    body[2] = static_cast<char>(count);
    for (std::size_t i = 0; i < entries.size(); ++i) Set(&body, 4 + stride * i, entries[i]);
    return body;
  }
  HiveCells Cells() const {
    return HiveCells(reinterpret_cast<const unsigned char*>(bytes_.data()), bytes_.size());
  }

 private:
  static void Set(std::string* s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
  }
  void Put(std::uint32_t at, std::uint32_t v) { Set(&bytes_, 4096 + at, v); }
  std::string bytes_;
};

std::vector<std::string> Names(const Image& image, std::uint32_t key) {
  const HiveCells cells = image.Cells();
  SubkeyCursor cursor(cells, 4096 + key);
  std::vector<std::string> names;
  StoredName name;
  for (std::uint64_t c = cursor.Next(); c; c = cursor.Next()) {
    EXPECT_TRUE(cells.KeyName(c, &name));
    names.push_back(Utf16ToUtf8(name.Text()));
  }
  return names;
}

TEST(HiveCells, WalksEveryListKindAndStopsOnDamage) {
  Image img;
  const std::uint32_t a = img.Key(0x100, "Alpha", 0, 0);
  const std::uint32_t b = img.Key(0x180, std::string("B\0\xE9\0t\0", 6), 0, 0, false);
  const std::uint32_t c = img.Key(0x200, "Gamma", 0, 0);
  const std::uint32_t li = img.Cell(0x300, Image::List("li", {a, 0x7FFFFF00}, 4, 2));
  const std::uint32_t lh = img.Cell(0x340, Image::List("lh", {b, c}, 8, 2));
  const std::uint32_t self = 0x380;
  img.Cell(self, Image::List("ri", {li, self, lh, 0x7FFFFF00}, 4, 4));
  const struct {
    const char* what;
    std::uint32_t count, list;
    std::vector<std::string> expected;
  } cases[] = {
      {"ri over li and lh, skipping itself and an entry outside",
       5,
       self,
       {"Alpha", "B\xC3\xA9t", "Gamma"}},
      {"a count that claims more", 1000, self, {"Alpha", "B\xC3\xA9t", "Gamma"}},
      {"a count that claims fewer", 2, self, {"Alpha"}},
      {"one lh", 2, lh, {"B\xC3\xA9t", "Gamma"}},
      {"a list outside the image", 2, 0x7FFFFF00, {}},
      {"a list that is a key", 2, a, {}},
  };
  std::uint32_t at = 0x400;
  for (const auto& t : cases) {
    const std::uint32_t key = img.Key(at, "K", t.count, t.list);
    at += 0x80;
    EXPECT_EQ(Names(img, key), t.expected) << t.what;
  }
}

TEST(HiveCells, MatchesNamesInAnyLetterCase) {
  Image img;
  const HiveCells cells = img.Cells();
  StoredName name;
  img.Key(0x100, "Caf\xE9", 0, 0);
  img.Key(0x180, std::string("\xC9\0t\0\xE9\0", 6), 0, 0, false);
  ASSERT_TRUE(cells.KeyName(4096 + 0x100, &name));
  EXPECT_TRUE(name.Matches(u"CAF\u00C9"));
  EXPECT_FALSE(name.Matches(u"CAFE"));
  EXPECT_FALSE(name.Matches(u"Caf"));
  EXPECT_EQ(name.FoldedHash(), FoldedHash(u"cAF\u00C9"));
  ASSERT_TRUE(cells.KeyName(4096 + 0x180, &name));
  EXPECT_TRUE(name.Matches(u"\u00E9T\u00C9"));
  EXPECT_FALSE(cells.KeyName(4096u + 0x7FFFFF00u, &name));
}

// A file cut inside its last bin reads up to the cut; the bin ends with the
// file, never padded out to the size it claims (64 MB here, for 8 KB).
TEST(HiveFileTest, ReadsACutLastBinWithoutPaddingItOut) {
  std::string bytes = hivefix::MakeHive("v1", true);
  const std::size_t last = 2 * kBaseBlockSize;  // the second bin: Version's data
  const std::uint32_t claimed = 64u << 20;
  for (int i = 0; i < 4; ++i) bytes[last + 8 + i] = static_cast<char>(claimed >> (8 * i));
  bytes.resize(last + 100);
  const TempDir dir;
  dir.Write("SOFTWARE", bytes);
  const std::unique_ptr<HiveFile> hive = OpenHive(dir.Path("SOFTWARE"));
  ASSERT_NE(hive, nullptr);
  EXPECT_LE(hive->imageSize(), last + kBaseBlockSize);
  EXPECT_EQ(ReadDword(*hive, hivex_root(hive->get()), u"Stamp"), 0x12345678u);
  EXPECT_FALSE(ReadText(*hive, hivex_root(hive->get()), u"Version"));
}

}  // namespace
}  // namespace platform
