// Any bytes as the LOG1 and LOG2 of a valid dirty hive: the replay must never
// crash or hang, and the image never grows beyond the hive plus the logs.
// Input: a 32-bit little-endian length, LOG1 of that length (modulo what is
// left), then LOG2.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "RegistryFiles/hive_recovery.h"
#include "tests/tools/hive_fixture.h"

namespace {

const std::string& DirtyHive() {
  static const std::string hive = [] {
    std::string h = hivefix::MakeHive("v0");
    hivefix::SetSequence(&h, 5, 4);
    return h;
  }();
  return hive;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::size_t rest = size - 4;
  const std::size_t first =
      (data[0] | (data[1] << 8) | (data[2] << 16) | (std::size_t{data[3]} << 24)) % (rest + 1);
  const char* bytes = reinterpret_cast<const char*>(data) + 4;
  const std::vector<platform::HiveLogFile> logs = {
      {"SYSTEM.LOG1", std::string_view(bytes, first)},
      {"SYSTEM.LOG2", std::string_view(bytes + first, rest - first)}};
  std::string image = DirtyHive();
  const platform::HiveRecovery r = platform::RecoverHive("SYSTEM", logs, &image);
  if (image.size() > DirtyHive().size() + rest) std::abort();   // grew beyond its inputs
  if (r.changed == platform::HiveIsDirty(image)) std::abort();  // recovered yet not clean
  if (!r.changed && image != DirtyHive()) std::abort();         // changed unannounced
  if (r.warnings.size() > 1) std::abort();
  return 0;
}
