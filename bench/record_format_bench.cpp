// The export records' formatting alone, per record: a small value as most of
// a SYSTEM hive's are, a key, and a 1 MB value (linear in its size).
#include <benchmark/benchmark.h>

#include <string>

#include "hivTAP/record_format.h"

namespace {

TRecord SmallValue() {
  TRecord record;
  record.Key = u"HKLM\\SYSTEM\\ControlSet001\\Services\\Tcpip\\Parameters\\Interfaces";
  record.Name = u"DhcpIPAddress";
  record.Type = 1;
  record.Data = std::string("1\0009\0002\000.\0001\0006\0008\000.\0001\000.\0002\0000\0\0\0", 26);
  record.HasTime = true;
  record.Time = 132000000001234567ULL;
  return record;
}

TRecord BigValue() {
  TRecord record = SmallValue();
  record.Type = 3;
  record.Data.assign(1 << 20, '\0');
  for (std::size_t i = 0; i < record.Data.size(); ++i) record.Data[i] = static_cast<char>(i * 7);
  return record;
}

using TAppend = void (*)(const TRecord&, std::string&, std::size_t*);

void Run(benchmark::State& state, TAppend append, const TRecord& record) {
  std::string out;
  std::size_t lone = 0;
  for (auto _ : state) {
    out.clear();
    append(record, out, &lone);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}

void BM_Json(benchmark::State& state, TRecord record) { Run(state, AppendJsonRecord, record); }
void BM_Csv(benchmark::State& state, TRecord record) { Run(state, AppendCsvRecord, record); }

TRecord Key() {
  TRecord record = SmallValue();
  record.Kind = TRecord::TKind::rkKey;
  record.SubKeys = 3;
  record.Values = 12;
  return record;
}

BENCHMARK_CAPTURE(BM_Json, json_small_value, SmallValue());
BENCHMARK_CAPTURE(BM_Csv, csv_small_value, SmallValue());
BENCHMARK_CAPTURE(BM_Json, json_key, Key());
BENCHMARK_CAPTURE(BM_Json, json_1mb_value, BigValue())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Csv, csv_1mb_value, BigValue())->Unit(benchmark::kMillisecond);

}  // namespace
