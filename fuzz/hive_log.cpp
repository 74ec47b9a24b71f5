// Any bytes as the LOG1 and LOG2 of a dirty hive: the replay must never
// crash or hang, and the image never grows beyond the hive plus the logs.
// Input: one flag byte, a 32-bit little-endian length, LOG1 of that length
// (modulo what is left), then LOG2. Flag bit 0: the entries' hashes are
// rewritten first, so that the checks past them (sizes, page references,
// growth) are reached too. Flag bit 1: the same files are also written beside
// a hive on disk and opened, and must give the same image. Flag bit 2: the
// dirty hive is not our valid one but comes first, after the flag byte, as
// LOG1 does (a length, then its bytes), so that logs Windows wrote can be
// replayed onto the hive they belong to; a clean one is passed over.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "RegistryFiles/Hives/hive_log.h"
#include "RegistryFiles/Hives/hive_recovery.h"
#include "RegistryFiles/Hives/marvin32.h"
#include "RegistryFiles/Hives/recovered_hive.h"
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

// A 32-bit little-endian length, then that many bytes (modulo what is left).
std::string_view TakeSized(std::string_view* input) {
  if (input->size() < 4) {
    *input = {};
    return {};
  }
  const std::size_t n = Le32(input->data()) % (input->size() - 4 + 1);
  const std::string_view taken = input->substr(4, n);
  input->remove_prefix(4 + n);
  return taken;
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
void CheckOnDisk(const std::string& hive, const std::string& log1, const std::string& log2,
                 const std::string& image, const platform::HiveRecovery& r) {
  const std::string primary = WriteScratchFile("SYSTEM", hive);
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
  FUZZ_CHECK(ReadScratchFile("SYSTEM") == hive && ReadScratchFile("SYSTEM.LOG1") == log1 &&
                 ReadScratchFile("system.log2") == log2,
             "no file beside the hive changes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string primary = data[0] & 4 ? std::string(TakeSized(&input)) : DirtyHive();
  if (!platform::HiveIsDirty(primary)) return 0;
  std::string log1(TakeSized(&input)), log2(input);
  if (data[0] & 1) {
    RehashEntries(&log1);
    RehashEntries(&log2);
  }
  const std::vector<platform::HiveLogFile> logs = {{"SYSTEM.LOG1", log1}, {"SYSTEM.LOG2", log2}};
  std::string image = primary;
  const platform::HiveRecovery r = platform::RecoverHive("SYSTEM", logs, &image);
  FUZZ_CHECK(image.size() <= std::max(primary.size(), platform::hivelog::kBaseBlockSize) +
                                 log1.size() + log2.size(),
             "the image grows by the logs at most");
  FUZZ_CHECK(r.changed != platform::HiveIsDirty(image), "a recovered image is clean");
  FUZZ_CHECK(r.changed || image == primary, "an image left as it was is unchanged");
  FUZZ_CHECK(r.warnings.size() <= 1, "one warning at most");
  if (data[0] & 2) CheckOnDisk(primary, log1, log2, image, r);
  return 0;
}
