// Any bytes as the LOG1 and LOG2 of a valid dirty hive: the replay must never
// crash or hang, and the image never grows beyond the hive plus the logs.
// Input: one flag byte, a 32-bit little-endian length, LOG1 of that length
// (modulo what is left), then LOG2. Flag bit 0: the entries' hashes are
// rewritten first, so that the checks past them (sizes, page references,
// growth) are reached too. Flag bit 1: the same files are also written beside
// a hive on disk and opened, and must give the same image.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "RegistryFiles/hive_log.h"
#include "RegistryFiles/hive_recovery.h"
#include "RegistryFiles/marvin32.h"
#include "RegistryFiles/recovered_hive.h"
#include "fuzz/support/fuzz_support.h"
#include "tests/tools/hive_fixture.h"

namespace {

using platform::hivelog::Le32;
using platform::hivelog::PutLe32;

const std::string& DirtyHive() {
  static const std::string hive = [] {
    std::string h = hivefix::MakeHive("v0");
    hivefix::SetSequence(&h, 5, 4);
    return h;
  }();
  return hive;
}

void PutHash(std::string* log, std::size_t at, std::size_t from, std::size_t n) {
  const std::uint64_t h = platform::Marvin32(
      platform::kHiveLogMarvinSeed, reinterpret_cast<const unsigned char*>(log->data() + from), n);
  PutLe32(&(*log)[at], static_cast<std::uint32_t>(h));
  PutLe32(&(*log)[at + 4], static_cast<std::uint32_t>(h >> 32));
}

void RehashEntries(std::string* log) {
  for (std::size_t pos = 512; pos <= log->size() && log->size() - pos >= 40;) {
    if (log->compare(pos, 4, "HvLE") != 0) return;
    const std::uint32_t size = Le32(log->data() + pos + 4);
    const bool whole = size >= 40 && size % 512 == 0 && size <= log->size() - pos;
    if (whole) PutHash(log, pos + 24, pos + 40, size - 40);
    PutHash(log, pos + 32, pos, 32);
    if (!whole) return;
    pos += size;
  }
}

// The same replay through the files: the in-memory copy, the warnings and
// the untouched files.
void CheckOnDisk(const std::string& log1, const std::string& log2, const std::string& image,
                 const platform::HiveRecovery& r) {
  const std::string primary = WriteScratchFile("SYSTEM", DirtyHive());
  WriteScratchFile("SYSTEM.LOG1", log1);
  WriteScratchFile("system.log2", log2);
  std::vector<std::string> warnings;
  {
    const platform::RecoveredHive hive = platform::OpenForReading(primary, &warnings);
    FUZZ_CHECK(hive.recovered() == r.changed, "recovered on disk as in memory");
    if (hive.recovered()) {
      std::ifstream in(hive.path(), std::ios::binary);
      const std::string copy{std::istreambuf_iterator<char>(in), {}};
      FUZZ_CHECK(copy == image, "the in-memory file holds the replayed image");
    }
  }
  FUZZ_CHECK(warnings.size() == r.warnings.size(), "the same warnings on disk as in memory");
  FUZZ_CHECK(ReadScratchFile("SYSTEM") == DirtyHive() && ReadScratchFile("SYSTEM.LOG1") == log1 &&
                 ReadScratchFile("system.log2") == log2,
             "no file beside the hive changes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::size_t rest = size - 5;
  const std::size_t first = Le32(reinterpret_cast<const char*>(data) + 1) % (rest + 1);
  const char* bytes = reinterpret_cast<const char*>(data) + 5;
  std::string log1(bytes, first), log2(bytes + first, rest - first);
  if (data[0] & 1) {
    RehashEntries(&log1);
    RehashEntries(&log2);
  }
  const std::vector<platform::HiveLogFile> logs = {{"SYSTEM.LOG1", log1}, {"SYSTEM.LOG2", log2}};
  std::string image = DirtyHive();
  const platform::HiveRecovery r = platform::RecoverHive("SYSTEM", logs, &image);
  FUZZ_CHECK(image.size() <= DirtyHive().size() + rest, "the image grows by the logs at most");
  FUZZ_CHECK(r.changed != platform::HiveIsDirty(image), "a recovered image is clean");
  FUZZ_CHECK(r.changed || image == DirtyHive(), "an image left as it was is unchanged");
  FUZZ_CHECK(r.warnings.size() <= 1, "one warning at most");
  if (data[0] & 2) CheckOnDisk(log1, log2, image, r);
  return 0;
}
