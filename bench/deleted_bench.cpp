// The time FindDeletedRecords takes over a hive held in memory, against
// libhivex opening a hive file (the same one by default) and walking every
// key and value:
//   deleted_bench HIVE [WALKED_HIVE [REPEATS]]
// Prints the best of REPEATS (default 5) runs of each, and what was found.
#include <hivex.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "RegistryFiles/Hives/hive_deleted.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Free {
  void operator()(void* p) const { std::free(p); }
};

// Every key, every value's name and data: what a walk of the live tree reads.
std::size_t Walk(hive_h* h, hive_node_h node) {
  std::size_t values = 0;
  const std::unique_ptr<hive_value_h, Free> vs(hivex_node_values(h, node));
  for (std::size_t i = 0; vs && vs.get()[i]; ++i) {
    hive_type type{};
    std::size_t length = 0;
    std::free(hivex_value_key(h, vs.get()[i]));
    std::free(hivex_value_value(h, vs.get()[i], &type, &length));
    ++values;
  }
  const std::unique_ptr<hive_node_h, Free> children(hivex_node_children(h, node));
  for (std::size_t i = 0; children && children.get()[i]; ++i) {
    std::free(hivex_node_name(h, children.get()[i]));
    values += Walk(h, children.get()[i]);
  }
  return values;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: deleted_bench HIVE [WALKED_HIVE [REPEATS]]\n");
    return 2;
  }
  const char* walked = argc > 2 ? argv[2] : argv[1];
  const int repeats = argc > 3 ? std::atoi(argv[3]) : 5;
  std::ifstream in(argv[1], std::ios::binary);
  const std::string hive(std::istreambuf_iterator<char>(in), {});
  if (hive.empty()) {
    std::fprintf(stderr, "deleted_bench: cannot read %s\n", argv[1]);
    return 1;
  }
  double recovery = 1e9, walk = 1e9;
  std::size_t keys = 0, values = 0, live = 0;
  for (int r = 0; r < repeats; ++r) {
    Clock::time_point start = Clock::now();
    const platform::DeletedRecords found = platform::FindDeletedRecords(
        reinterpret_cast<const std::uint8_t*>(hive.data()), hive.size());
    recovery = std::min(recovery, Seconds(start));
    keys = found.keys.size();
    values = found.orphanValues.size();
    for (const platform::DeletedKey& k : found.keys) values += k.values.size();

    start = Clock::now();
    hive_h* h = hivex_open(walked, 0);
    if (!h) {
      std::fprintf(stderr, "deleted_bench: hivex cannot open %s\n", walked);
      return 1;
    }
    live = Walk(h, hivex_root(h));
    hivex_close(h);
    walk = std::min(walk, Seconds(start));
  }
  const double mb = hive.size() / 1e6;
  std::printf("hive                      %.1f MB\n", mb);
  std::printf("FindDeletedRecords        %.1f ms  %.0f MB/s  (%zu keys, %zu values)\n",
              recovery * 1e3, mb / recovery, keys, values);
  std::printf("hivex open + walk         %.1f ms  (%zu live values)\n", walk * 1e3, live);
  std::printf("recovery / walk           %.2f\n", recovery / walk);
  return 0;
}
