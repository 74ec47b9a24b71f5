// Prints how fast the native build reads values from a Wine prefix: the
// first read (which loads and indexes the files), later reads, and the
// peak memory. Usage: hivtap_bench [prefix] [copies]
// With copies > 0 the prefix's system.reg is enlarged that many times, in
// a temporary prefix, to show how the reader scales with the file.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "MyRegCtrl/reg_ctrl.h"
#include "Platform/registry_store.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Lookup {
  std::uint32_t root;
  std::string path;
  std::string name;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A copy of the prefix whose system.reg holds `copies` more copies of every
// key, beneath Bench\<n>.
fs::path EnlargedPrefix(const fs::path& prefix, int copies) {
  const fs::path dir = fs::temp_directory_path() / ("hivtap-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  for (const char* name : {"user.reg", "userdef.reg"}) {
    fs::copy_file(prefix / name, dir / name, fs::copy_options::overwrite_existing);
  }
  const std::string system = ReadAll(prefix / "system.reg");
  std::ofstream out(dir / "system.reg", std::ios::binary);
  out << system;
  for (int n = 0; n < copies; ++n) {
    std::size_t pos = system.find("\n[");
    std::size_t done = 0;
    while (pos != std::string::npos) {
      out.write(system.data() + done, static_cast<std::streamsize>(pos + 2 - done));
      out << "Bench\\\\" << n << "\\\\";
      done = pos + 2;
      pos = system.find("\n[", done);
    }
    out.write(system.data() + done, static_cast<std::streamsize>(system.size() - done));
  }
  return dir;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A figure of /proc/self/status, in MB.
double StatusMb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) {
      return std::atof(line.c_str() + field.size() + 1) / 1024.0;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* env = std::getenv("WINEPREFIX");
  const char* home = std::getenv("HOME");
  fs::path prefix = argc > 1      ? fs::path(argv[1])
                    : env && *env ? fs::path(env)
                                  : fs::path(home ? home : ".") / ".wine";
  const int copies = argc > 2 ? std::atoi(argv[2]) : 0;
  std::vector<Lookup> lookups = {
      {0x80000002, "Software\\Microsoft\\Windows NT\\CurrentVersion\\", "ProductName"},
      {0x80000002, "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName\\",
       "ComputerName"},
      {0x80000001, "Control Panel\\Desktop\\", "Wallpaper"},
      {0x80000000, ".txt\\", "Content Type"},
  };
  fs::path temp;
  if (copies > 0) {
    temp = prefix = EnlargedPrefix(prefix, copies);
    const std::string last = "Bench\\" + std::to_string(copies - 1) + "\\";
    lookups.push_back(
        {0x80000002, last + "Software\\Microsoft\\Windows NT\\CurrentVersion\\", "ProductName"});
  }
  setenv("WINEPREFIX", prefix.c_str(), 1);
  platform::SetRegistryStore(nullptr);

  std::error_code ec;
  const auto systemSize = fs::file_size(prefix / "system.reg", ec);
  std::printf("prefix            %s\n", prefix.c_str());
  std::printf("system.reg        %.1f MB\n", ec ? 0.0 : systemSize / 1e6);

  // The peak is measured from here, without the enlarged file's making.
  std::ofstream("/proc/self/clear_refs") << "5";
  const double before = StatusMb("VmRSS");
  const auto t0 = Clock::now();
  const std::string first = ReadValueAsText(lookups[0].root, lookups[0].path, lookups[0].name, "");
  const auto t1 = Clock::now();
  std::printf("first read        %.1f ms (%s)\n", 1e3 * Seconds(t1 - t0), first.c_str());

  const int rounds = 20000;
  std::size_t found = 0;
  const auto t2 = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    const Lookup& l = lookups[static_cast<std::size_t>(i) % lookups.size()];
    found += ReadValueAsText(l.root, l.path, l.name, "").empty() ? 0 : 1;
  }
  const auto t3 = Clock::now();
  std::printf("later reads       %.2f us each (%d reads, %zu non-empty)\n",
              1e6 * Seconds(t3 - t2) / rounds, rounds, found);

  std::printf("memory            %.1f MB before, %.1f MB peak\n", before, StatusMb("VmHWM"));
  if (!temp.empty()) fs::remove_all(temp, ec);
  return 0;
}
