// Prints what FindDeletedRecords finds in a hive file, one JSON object a
// line, for the comparison against reglookup-recover:
//   dump_deleted HIVE
// {"key": [names...], "partial": b, "time": t, "offset": o}
// {"value": name, "key": index or -1, "type": t, "data": hex, "reliable": b, "offset": o}
// Names keep every UTF-16 unit, lone surrogates included, as \u escapes.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "RegistryFiles/Hives/hive_deleted.h"

namespace {

std::string Json(const std::u16string& text) {
  std::string out = "\"";
  char buf[8];
  for (const char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out + "\"";
}

std::string Hex(const std::string& data) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const char c : data) {
    out += digits[static_cast<unsigned char>(c) >> 4];
    out += digits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

void PrintValue(const platform::DeletedValue& v, long key) {
  std::printf(
      "{\"value\": %s, \"key\": %ld, \"type\": %u, \"data\": \"%s\", \"reliable\": %s, "
      "\"offset\": %u}\n",
      Json(v.name).c_str(), key, v.type, Hex(v.data).c_str(), v.reliable ? "true" : "false",
      v.offset);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dump_deleted HIVE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "dump_deleted: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string hive(std::istreambuf_iterator<char>(in), {});
  const platform::DeletedRecords found =
      platform::FindDeletedRecords(reinterpret_cast<const std::uint8_t*>(hive.data()), hive.size());
  for (std::size_t k = 0; k < found.keys.size(); ++k) {
    const platform::DeletedKey& key = found.keys[k];
    std::string path = "[";
    for (const std::u16string& name : key.path) path += (path.size() > 1 ? ", " : "") + Json(name);
    std::printf("{\"key\": %s], \"partial\": %s, \"time\": %llu, \"offset\": %u}\n", path.c_str(),
                key.partial ? "true" : "false", static_cast<unsigned long long>(key.lastWrite),
                key.offset);
    for (const platform::DeletedValue& v : key.values) PrintValue(v, static_cast<long>(k));
  }
  for (const platform::DeletedValue& v : found.orphanValues) PrintValue(v, -1);
  return 0;
}
