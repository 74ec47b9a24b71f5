// The partition-table check over disks whose tables sfdisk wrote (the fuzz
// target's seeds, fuzz/make_partition_seeds.py), sound and then bent into
// the shapes that held the Sleuth Kit: a GPT claiming 2^32 or 65,536
// entries, a table past the disk's end, a loop of extended partitions.
#include "RegistryFiles/Images/partition_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace platform {
namespace {

std::string Seed(const std::string& name) {
  std::ifstream in(std::string(HIVTAP_SEEDS_DIR) + "/partition_table/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put32(std::string& disk, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) disk[at + i] = static_cast<char>(value >> (8 * i));
}

std::string Check(const std::string& disk) {
  return CheckPartitionTables(
      [&disk](std::uint64_t offset, void* buffer, std::size_t size) {
        if (offset > disk.size() || size > disk.size() - offset) return false;
        std::memcpy(buffer, disk.data() + offset, size);
        return true;
      },
      disk.size());
}

struct Row {
  const char* name;
  const char* seed;
  std::size_t at;  // where a 32-bit field is set; 0: the seed as made
  std::uint32_t value;
  const char* refusal;  // the start of the reason; empty: let through
};

// GPT header fields: the entries' first LBA (72), their count (80) and size
// (84). The 64 KiB seeds end with the backup header.
constexpr std::size_t kPrimary = 512;
constexpr std::size_t kBackup = 65536 - 512;
constexpr std::size_t kPrimary4k = 4096;
// The first extended boot record (sector 16), its link to the next one.
constexpr std::size_t kNextLink = 16 * 512 + 0x1CE + 8;

const Row kRows[] = {
    {"MBR, primary partitions", "mbr-primary.img", 0, 0, ""},
    {"MBR, logical partitions", "mbr-extended.img", 0, 0, ""},
    {"GPT", "gpt.img", 0, 0, ""},
    {"GPT, 4096-byte sectors", "gpt-4k.img", 0, 0, ""},
    {"GPT claiming 2^32 - 1 entries", "gpt.img", kPrimary + 80, 0xFFFFFFFF,
     "table GPT de 4294967295 entr\xE9"
     "es, plus de 4096"},
    {"GPT claiming 65,536 entries", "gpt.img", kPrimary + 80, 65536, "table GPT de 65536"},
    {"GPT claiming 4,097 entries", "gpt.img", kPrimary + 80, 4097, "table GPT de 4097"},
    {"GPT of 4,096 entries past a 64 KiB disk", "gpt.img", kPrimary + 80, 4096,
     "table GPT au-del\xE0"},
    {"GPT entries starting past the disk", "gpt.img", kPrimary + 72, 200, "table GPT au-del\xE0"},
    {"GPT entries of no size", "gpt.img", kPrimary + 84, 0, "taille d'entr\xE9"},
    {"GPT backup header claiming 2^32 - 1 entries", "gpt.img", kBackup + 80, 0xFFFFFFFF,
     "table GPT de 4294967295"},
    {"GPT on 4096-byte sectors claiming 2^32 - 1", "gpt-4k.img", kPrimary4k + 80, 0xFFFFFFFF,
     "table GPT de 4294967295"},
    {"extended partitions linked in a loop", "mbr-extended.img", kNextLink, 0,
     "plus de 128 partitions \xE9tendues"},
};

TEST(PartitionTableTest, EndlessTablesAreRefused) {
  for (const Row& row : kRows) {
    std::string disk = Seed(row.seed);
    ASSERT_EQ(disk.size(), 65536u) << row.seed;
    if (row.at != 0) Put32(disk, row.at, row.value);
    const std::string why = Check(disk);
    EXPECT_EQ(why.substr(0, std::strlen(row.refusal)), row.refusal) << row.name << ": " << why;
    EXPECT_EQ(why.empty(), *row.refusal == '\0') << row.name << ": " << why;
  }
}

}  // namespace
}  // namespace platform
