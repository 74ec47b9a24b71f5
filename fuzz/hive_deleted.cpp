// Any bytes as a hive whose unallocated cells are searched for deleted keys
// and values: never a crash or a hang, and what comes back keeps its shape.
// Seeds: the hive_file corpus (fuzz/hive_deleted.seeds) and hives holding
// deleted records.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "RegistryFiles/Hives/hive_deleted.h"
#include "fuzz/support/fuzz_support.h"

namespace {

void CheckValue(const platform::DeletedValue& v, std::size_t size,
                std::set<std::uint32_t>* offsets) {
  FUZZ_CHECK(4096 + std::uint64_t{v.offset} + 24 <= size, "a value lies inside the hive");
  FUZZ_CHECK(offsets->insert(v.offset).second, "a value is reported once");
  FUZZ_CHECK(v.reliable || v.data.empty(), "unreliable data is left out");
  FUZZ_CHECK(v.data.size() <= size, "data comes from the hive's own bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const platform::DeletedRecords found = platform::FindDeletedRecords(data, size);
  std::set<std::uint32_t> values;
  std::uint64_t last = 0;
  std::size_t bytes = 0;
  for (const platform::DeletedKey& k : found.keys) {
    FUZZ_CHECK(k.offset >= last, "keys come in file order");
    last = std::uint64_t{k.offset} + 1;
    FUZZ_CHECK(4096 + std::uint64_t{k.offset} + 80 <= size, "a key lies inside the hive");
    FUZZ_CHECK(!k.path.empty() && k.path.size() <= 512, "a key's path ends with its name");
    for (const std::u16string& name : k.path) bytes += name.size();
    for (const platform::DeletedValue& v : k.values) {
      CheckValue(v, size, &values);
      bytes += v.data.size();
    }
  }
  last = 0;
  for (const platform::DeletedValue& v : found.orphanValues) {
    FUZZ_CHECK(v.offset >= last, "orphan values come in file order");
    last = std::uint64_t{v.offset} + 1;
    CheckValue(v, size, &values);
    bytes += v.data.size();
  }
  // Paths within their budget plus each key's own name, data claimed once.
  FUZZ_CHECK(bytes <= 4 * size + 65536, "what is recovered stays linear in the hive's size");
  return 0;
}
