// Prints what replaying a dirty hive's logs adds to opening it: a hive of
// about 50 MB whose LOG1 and LOG2 hold about 10 MB of changed pages, opened
// clean and dirty. Usage: hive_recovery_bench [hive MB] [log MB]
#include <fcntl.h>
#include <sys/sendfile.h>
#include <unistd.h>
#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RegistryFiles/Hives/hive_recovery.h"
#include "RegistryFiles/Hives/marvin32.h"
#include "RegistryFiles/Hives/recovered_hive.h"
#include "tests/tools/hive_fixture.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kBin = 4096;

void Put32(std::string* s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
}

// The fixture's hive with empty hive bins appended up to `bytes`.
std::string BigHive(std::size_t bytes) {
  std::string hive = hivefix::MakeHive("v0");
  const std::string bin = hive.substr(kBin, 32);
  while (hive.size() + kBin <= bytes) {
    const std::size_t at = hive.size();
    hive += bin + std::string(kBin - 32, '\0');
    Put32(&hive, at + 4, static_cast<std::uint32_t>(at - kBin));
    Put32(&hive, at + 32, kBin - 32);  // one free cell
  }
  Put32(&hive, 40, static_cast<std::uint32_t>(hive.size() - kBin));
  hivefix::SetSequence(&hive, 4, 4);
  return hive;
}

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

template <typename F>
double MedianMs(F f) {
  std::vector<double> ms;
  for (int i = 0; i < 7; ++i) {
    const auto t0 = Clock::now();
    f();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t hive_mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
  const std::size_t log_mb = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10;
  const std::string before = BigHive(hive_mb << 20);
  // Ten entries, each changing an even spread of pages; LOG1 has the first five.
  const std::size_t pages = (before.size() - kBin) / kBin, changed = (log_mb << 20) / kBin / 10;
  std::string state = before, logs[2];
  std::vector<std::string> entries[2];
  for (std::uint32_t e = 0; e < 10; ++e) {
    std::string next = state;
    for (std::size_t p = 0; p < changed; ++p) {
      next[kBin + ((p * pages / changed + e) % pages) * kBin + 64] ^= static_cast<char>(e + 1);
    }
    entries[e / 5].push_back(hivefix::LogEntry(5 + e, state, next));
    state.swap(next);
  }
  logs[0] = hivefix::NewLog(before, 5, entries[0]);
  logs[1] = hivefix::NewLog(before, 10, entries[1]);
  std::string dirty = before;
  hivefix::SetSequence(&dirty, 5, 4);

  const fs::path dir = fs::temp_directory_path() / "hivtap-recovery-bench";
  fs::create_directories(dir / "clean");
  fs::create_directories(dir / "dirty");
  Write(dir / "clean" / "SOFTWARE", before);
  Write(dir / "dirty" / "SOFTWARE", dirty);
  Write(dir / "dirty" / "SOFTWARE.LOG1", logs[0]);
  Write(dir / "dirty" / "SOFTWARE.LOG2", logs[1]);

  std::vector<std::string> warnings;
  bool ok = true;
  const double clean = MedianMs([&] {
    ok &= !platform::OpenForReading((dir / "clean" / "SOFTWARE").string(), &warnings).recovered();
  });
  const double opened = MedianMs([&] {
    ok &= platform::OpenForReading((dir / "dirty" / "SOFTWARE").string(), &warnings).recovered();
  });
  // The floor of any in-memory recovery: the kernel copying the primary into
  // an in-memory file, without reading a log.
  const double copy = MedianMs([&] {
    platform::MemFile memory("bench");
    const int fd = open((dir / "dirty" / "SOFTWARE").c_str(), O_RDONLY);
    off_t from = 0;
    while (sendfile(memory.fd(), fd, &from, dirty.size()) > 0) {
    }
    close(fd);
  });
  const std::vector<platform::HiveLogFile> files = {{"LOG1", logs[0]}, {"LOG2", logs[1]}};
  std::string image;
  const double replay = MedianMs([&] {
    image = dirty;
    ok &= platform::RecoverHive("SOFTWARE", files, &image).changed;
  });
  ok &= image.compare(kBin, std::string::npos, state, kBin, std::string::npos) == 0 &&
        warnings.empty();
  const double hash = MedianMs([&] {
    volatile std::uint64_t h =
        platform::Marvin32(platform::kHiveLogMarvinSeed,
                           reinterpret_cast<const unsigned char*>(logs[0].data()), logs[0].size());
    (void)h;
  });
  fs::remove_all(dir);

  std::printf("hive              %.1f MB, logs %.1f MB (10 entries in LOG1 and LOG2)\n",
              before.size() / 1e6, (logs[0].size() + logs[1].size()) / 1e6);
  std::printf("open clean        %.2f ms\n", clean);
  std::printf("open dirty        %.1f ms (read, replay, in-memory copy)\n", opened);
  std::printf("replay added      %.1f ms\n", opened - clean);
  std::printf("  copy floor      %.1f ms (the kernel copying the primary to memory)\n", copy);
  std::printf("replay in memory  %.1f ms (copy of the primary included)\n", replay);
  std::printf("marvin32          %.0f MB/s\n", logs[0].size() / 1e3 / hash);
  if (!ok) std::printf("RESULT WRONG: the replayed image differs from the expected hive\n");
  return ok ? 0 : 1;
}
