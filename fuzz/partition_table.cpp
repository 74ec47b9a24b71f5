// The first sectors of a disk (MBR, GPT header and entries, extended
// chains): the check that keeps endless tables from the Sleuth Kit, then the
// library's reading of what the check lets through, as hivtap asks for it.
// What is let through must be read in bounded time (the target's timeout)
// and list a bounded number of partitions.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "RegistryFiles/Images/partition_table.h"
#include "RegistryFiles/Images/tsk_handles.h"
#include "fuzz/support/fuzz_support.h"

namespace {

// Every entry of the largest table let through, each with an unallocated
// gap beside it, and the library's own entries for the tables themselves.
constexpr unsigned kMaxListed = 2 * platform::kMaxGptEntries + 8 * platform::kMaxExtendedRecords;

void ListPartitions(TSK_IMG_INFO* img, TSK_VS_TYPE_ENUM type) {
  const platform::TskLibrary& tsk = platform::Tsk();
  platform::TskVs vs(tsk.vs_open(img, 0, type));
  tsk.error_reset();
  if (!vs) return;
  FUZZ_CHECK(vs->part_count <= kMaxListed, "a table let through lists a bounded number");
  for (TSK_PNUM_T i = 0; i < vs->part_count; ++i) {
    const TSK_VS_PART_INFO* part = tsk.vs_part_get(vs.get(), i);
    FUZZ_CHECK(part != nullptr, "each listed partition can be had");
  }
}

// The input as the library's image, in memory: a file written and opened
// for each input took most of an execution.
struct MemoryImage {
  TSK_IMG_INFO img;  // first: the library hands the callbacks this pointer
  const std::uint8_t* data;
  std::size_t size;
};

ssize_t ReadMemory(TSK_IMG_INFO* img, TSK_OFF_T offset, char* buffer, size_t size) {
  const MemoryImage* m = reinterpret_cast<MemoryImage*>(img);
  if (offset < 0 || static_cast<std::uint64_t>(offset) >= m->size) return -1;
  const std::size_t n = std::min(size, m->size - static_cast<std::size_t>(offset));
  std::memcpy(buffer, m->data + offset, n);
  return static_cast<ssize_t>(n);
}

void KeepImage(TSK_IMG_INFO*) {}  // made once, for every input
void NoStat(TSK_IMG_INFO*, FILE*) {}

// The one image, its read cache (2 MiB) emptied for each input.
TSK_IMG_INFO* OpenMemory(const std::uint8_t* data, std::size_t size) {
  static MemoryImage* const image = new MemoryImage();
  std::memset(image->img.cache_len, 0, sizeof image->img.cache_len);
  std::memset(image->img.cache_off, 0, sizeof image->img.cache_off);
  std::memset(image->img.cache_age, 0, sizeof image->img.cache_age);
  image->data = data;
  image->size = size;
  return platform::Tsk().img_open_external(image, static_cast<TSK_OFF_T>(size), 512, ReadMemory,
                                           KeepImage, NoStat);
}

}  // namespace

// Whole stacks, to tell the library's own leaks from ours.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto read = [data, size](std::uint64_t offset, void* buffer, std::size_t n) {
    if (offset > size || n > size - offset) return false;
    if (n > 0) std::memcpy(buffer, data + offset, n);
    return true;
  };
  if (!platform::CheckPartitionTables(read, size).empty()) return 0;
  std::string why;
  FUZZ_CHECK(platform::LoadTsk(&why) != nullptr, "the Sleuth Kit loads: " + why);
  if (size < 512) return 0;
  TSK_IMG_INFO* img = OpenMemory(data, size);
  platform::Tsk().error_reset();
  if (!img) return 0;
  // As hivtap asks: GPT alone behind a protective MBR.
  ListPartitions(img, platform::IsProtectiveMbr(data) ? TSK_VS_TYPE_GPT : TSK_VS_TYPE_DETECT);
  platform::Tsk().img_close(img);
  return 0;
}
