// Renders records read from standard input in both export formats, for a
// check by readers this project did not write (record_format_check.py).
// Each input line is one record, tab-separated:
//   kind label key name type data time subkeys values deleted partial line
// kind: 0 value, 1 key, 2 missing value, 3 missing key, 4 list line;
// strings are hex of UTF-16LE (label "-" for none), data is hex, time is
// decimal or "-".
// Writes the JSON Lines to argv[1], the CSV file (mark, header, rows) to
// argv[2], and each record's lone surrogate counts (JSON, CSV) to stdout.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "hivTAP/record_format.h"

namespace {

std::string Bytes(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

std::u16string Wide(const std::string& hex) {
  const std::string bytes = Bytes(hex);
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: record_format_dump JSON-FILE CSV-FILE < records\n";
    return 2;
  }
  std::string json, csv = std::string(kUtf8ByteOrderMark) + CsvHeader();
  std::string line;
  while (std::getline(std::cin, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    f.resize(12);
    TRecord record;
    record.Kind = static_cast<TRecord::TKind>(std::stoi(f[0]));
    record.HasLabel = f[1] != "-";
    if (record.HasLabel) record.Label = Wide(f[1]);
    record.Key = Wide(f[2]);
    record.Name = Wide(f[3]);
    record.Type = static_cast<std::uint32_t>(std::stoul(f[4]));
    record.Data = Bytes(f[5]);
    record.HasTime = f[6] != "-";
    if (record.HasTime) record.Time = std::stoull(f[6]);
    record.SubKeys = static_cast<std::uint32_t>(std::stoul(f[7]));
    record.Values = static_cast<std::uint32_t>(std::stoul(f[8]));
    record.Deleted = f[9] == "1";
    record.Partial = f[10] == "1";
    record.Line = Wide(f[11]);
    std::size_t jsonLone = 0, csvLone = 0;
    // In pieces, as a big value goes out; Append gives the same bytes.
    WriteJsonRecord(
        record, [&](const char* bytes, std::size_t size) { json.append(bytes, size); }, &jsonLone);
    WriteCsvRecord(
        record, [&](const char* bytes, std::size_t size) { csv.append(bytes, size); }, &csvLone);
    std::cout << jsonLone << ' ' << csvLone << '\n';
  }
  std::ofstream(argv[1], std::ios::binary) << json;
  std::ofstream(argv[2], std::ios::binary) << csv;
  return 0;
}
