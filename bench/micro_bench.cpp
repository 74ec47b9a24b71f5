// In-process figures of the pieces a list line goes through: the key
// lookup of the Wine prefix store, SplitKeySpec, NextArgument, the list
// reader and the renderings. Run by bench/run.sh; the process-level figures
// are its table.
// The store benchmarks read the prefix named by HIVTAP_BENCH_PREFIX (made by
// bench/run.sh), or one written here with the same generated keys.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "MyRegCtrl/reg_ctrl.h"
#include "Platform/charset_posix.h"
#include "Platform/registry_store.h"
#include "RegistryFiles/Wine/wine_prefix_store.h"
#include "RunTime/text_stream.h"
#include "hivTAP/command_line.h"
#include "hivTAP/key_line.h"
#include "tests/temp_dir.h"
#include "tests/test_registry.h"

namespace {

constexpr std::uint32_t kHklm = 0x80000002;
constexpr int kGroups = 100;
constexpr int kKeysPerGroup = 100;
constexpr int kValuesPerKey = 10;

std::string KeyPath(int n) {
  char path[64];
  std::snprintf(path, sizeof path, "Software\\hivtap-bench\\G%03d\\K%05d", n / kKeysPerGroup, n);
  return path;
}

// The generated keys as bench/prefixes.py writes them, in a prefix's files.
std::string SyntheticSystemReg() {
  std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
  text += "#arch=win64\n";
  char line[160];
  for (int n = 0; n < kGroups * kKeysPerGroup; ++n) {
    std::string header = KeyPath(n);
    for (std::size_t at = 0; (at = header.find('\\', at)) != std::string::npos; at += 2) {
      header.insert(at, "\\");
    }
    text += "\n[" + header + "] 1700000000\n#time=1d9000000000000\n";
    for (int v = 0; v < kValuesPerKey; ++v) {
      std::snprintf(line, sizeof line, "\"V%d\"=\"Valeur %07d, cl\\xe9 g\\xe9n\\xe9r\\xe9\"\n", v,
                    n * kValuesPerKey + v);
      text += line;
    }
  }
  return text;
}

class Prefix {
 public:
  Prefix() {
    const char* env = std::getenv("HIVTAP_BENCH_PREFIX");
    if (env && *env) {
      dir_ = env;
      return;
    }
    temp_ = std::make_unique<TempDir>();
    temp_->Write("system.reg", SyntheticSystemReg());
    temp_->Write("user.reg", "WINE REGISTRY Version 2\n\n#arch=win64\n");
    temp_->Write("userdef.reg", "WINE REGISTRY Version 2\n\n#arch=win64\n");
    dir_ = temp_->Path("");
  }
  const std::string& dir() const { return dir_; }

 private:
  std::unique_ptr<TempDir> temp_;
  std::string dir_;
};

const Prefix& ThePrefix() {
  static const Prefix prefix;
  return prefix;
}

// Keys visited in a scattered order, as a list file would.
int Scatter(std::size_t i) { return static_cast<int>((i * 7919) % (kGroups * kKeysPerGroup)); }

void BM_StoreLoadAndFirstLookup(benchmark::State& state) {
  for (auto _ : state) {
    platform::WinePrefixStore store(ThePrefix().dir());
    std::string root, path;
    store.RootPath(kHklm, &root);
    benchmark::DoNotOptimize(store.OpenKey(root, platform::WidenAnsi(KeyPath(1234)), &path));
  }
}
BENCHMARK(BM_StoreLoadAndFirstLookup)->Unit(benchmark::kMillisecond);

void BM_StoreOpenKey(benchmark::State& state) {
  platform::WinePrefixStore store(ThePrefix().dir());
  std::string root, path;
  store.RootPath(kHklm, &root);
  std::vector<std::u16string> keys;
  for (int i = 0; i < 1000; ++i) keys.push_back(platform::WidenAnsi(KeyPath(Scatter(i))));
  store.OpenKey(root, keys[0], &path);
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(store.OpenKey(root, keys[i++ % keys.size()], &path));
}
BENCHMARK(BM_StoreOpenKey);

void BM_StoreQueryValue(benchmark::State& state) {
  platform::WinePrefixStore store(ThePrefix().dir());
  std::string root;
  store.RootPath(kHklm, &root);
  std::vector<std::string> paths(1000);
  for (int i = 0; i < 1000; ++i)
    store.OpenKey(root, platform::WidenAnsi(KeyPath(Scatter(i))), &paths[i]);
  platform::StoredValue value;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.QueryValue(paths[i % paths.size()], u"V3", &value));
    ++i;
  }
}
BENCHMARK(BM_StoreQueryValue);

// One list line's read through the whole registry layer.
void BM_ReadValueAsTextWine(benchmark::State& state) {
  platform::SetRegistryStore(std::make_unique<platform::WinePrefixStore>(ThePrefix().dir()));
  std::vector<std::string> keys;
  for (int i = 0; i < 1000; ++i) keys.push_back(KeyPath(Scatter(i)) + "\\");
  ReadValueAsText(kHklm, keys[0], "V3", "");
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadValueAsText(kHklm, keys[i++ % keys.size()], "V3", ""));
  }
  platform::SetRegistryStore(nullptr);
}
BENCHMARK(BM_ReadValueAsTextWine);

// The renderings over the unit tests' in-memory store.
void BM_ReadValueAsTextMemory(benchmark::State& state) {
  TestRegistry registry;
  const std::string key = registry.KeyPath() + "\\";
  std::string multi;
  for (int i = 0; i < 8; ++i) multi += "cha\xEEne " + std::to_string(i) + std::string(1, '\0');
  multi += '\0';
  struct {
    const char* name;
    std::uint32_t type;
    std::string data;
  } values[] = {
      {"sz", kRegSz, std::string("C:\\Program Files\\hivtap\\valeur", 31)},
      {"dword", kRegDword, std::string("\xFF\xFF\xFF\x7F", 4)},
      {"qword", kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x80", 8)},
      {"binary", kRegBinary, std::string(254, '\xA5')},
      {"multi", kRegMultiSz, multi},
  };
  const auto& v = values[state.range(0)];
  registry.SetValue("", v.name, v.type, v.data);
  state.SetLabel(v.name);
  for (auto _ : state) benchmark::DoNotOptimize(ReadValueAsText(0x80000001, key, v.name, ""));
}
BENCHMARK(BM_ReadValueAsTextMemory)->DenseRange(0, 4);

void BM_SplitKeySpec(benchmark::State& state) {
  const std::string keyLine = "HKLM\\Software\\hivtap-bench\\G012\\K01234\\V7";
  std::uint32_t root = 0;
  std::string path, name;
  for (auto _ : state) {
    benchmark::DoNotOptimize(SplitKeySpec(keyLine, root, path, name));
  }
}
BENCHMARK(BM_SplitKeySpec);

void BM_NextArgument(benchmark::State& state) {
  const std::string line =
      "hivtap.exe /N \"/L:C:\\Mes documents\\cl\xE9s.txt\" /S \"r\xE9sultat du jour.txt\"";
  for (auto _ : state) {
    std::size_t pos = 0;
    int count = 0;
    while (!NextArgument(line, pos).empty()) ++count;
    benchmark::DoNotOptimize(count);
  }
  state.SetItemsProcessed(state.iterations() * 5);
}
BENCHMARK(BM_NextArgument);

// Reading a list file of 10,000 lines; items are lines.
void BM_ReadLine(benchmark::State& state) {
  TempDir dir;
  std::string text;
  const int lines = 10000;
  for (int i = 0; i < lines; ++i) text += "HKLM\\" + KeyPath(Scatter(i)) + "\\V3\r\n";
  dir.Write("list.txt", text);
  const std::string name = dir.Path("list.txt");
  for (auto _ : state) {
    TTextStream list;
    list.OpenRead(name);
    while (!list.AtEndOfText()) benchmark::DoNotOptimize(list.ReadLine());
    list.Close();
  }
  state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_ReadLine)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
