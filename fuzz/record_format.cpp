// The export records of names and data of every shape: each JSON line is one
// well-formed object in strict UTF-8 whose strings decode back to the names
// and data given, and each CSV row is one RFC 4180 row of the header's
// columns whose fields do the same (lone surrogates as U+FFFD).
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_support.h"
#include "hivTAP/key_time.h"
#include "hivTAP/record_format.h"

namespace {

using TKind = TRecord::TKind;

std::u16string Wide(const std::string& bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  return text;
}

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// The units with each lone surrogate as U+FFFD, and how many there were.
std::u16string Replaced(const std::u16string& text, std::size_t& lone) {
  std::u16string out = text;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (IsHigh(out[i]) && i + 1 < out.size() && IsLow(out[i + 1])) {
      ++i;
    } else if (IsHigh(out[i]) || IsLow(out[i])) {
      out[i] = 0xFFFD;
      ++lone;
    }
  }
  return out;
}

// Reads strict UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF) at text[i] as UTF-16 units; false on any fault.
bool Utf8Char(const std::string& text, std::size_t& i, std::u16string& out) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  int extra = -1;
  if (lead < 0x80)
    extra = 0;
  else if (lead >= 0xC2 && lead < 0xE0)
    extra = 1;
  else if (lead >= 0xE0 && lead < 0xF0)
    extra = 2;
  else if (lead >= 0xF0 && lead < 0xF5)
    extra = 3;
  if (extra < 0 || i + extra >= text.size()) return false;
  std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return false;
    code = code << 6 | (next & 0x3F);
  }
  static const std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (code < kLeast[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return false;
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
  }
  i += 1 + extra;
  return true;
}

struct TJsonValue {
  char Kind = 0;  // '"' string, '0' number, 't' true, '[' array of strings
  std::u16string Text;
  std::string Number;
  std::vector<std::u16string> Items;
};

// A strict reader of what the JSON writer may give: one compact object of
// strings, non-negative integers, true and arrays of strings.
class TJsonReader {
 public:
  explicit TJsonReader(const std::string& text) : s_(text) {}

  bool Object(std::map<std::string, TJsonValue>& fields, std::vector<std::string>& order) {
    if (!Take('{')) return false;
    do {
      std::u16string wideName;
      TJsonValue value;
      if (!String(wideName) || !Take(':') || !Value(value)) return false;
      const std::string name(wideName.begin(), wideName.end());
      if (!fields.emplace(name, value).second) return false;  // a name twice
      order.push_back(name);
    } while (Take(','));
    return Take('}') && i_ == s_.size();
  }

 private:
  bool Take(char c) {
    if (i_ >= s_.size() || s_[i_] != c) return false;
    ++i_;
    return true;
  }

  bool Value(TJsonValue& value) {
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '"') {
      value.Kind = '"';
      return String(value.Text);
    }
    if (c == '[') {
      value.Kind = '[';
      ++i_;
      if (Take(']')) return true;
      do {
        value.Items.emplace_back();
        if (!String(value.Items.back())) return false;
      } while (Take(','));
      return Take(']');
    }
    if (s_.compare(i_, 4, "true") == 0) {
      value.Kind = 't';
      i_ += 4;
      return true;
    }
    value.Kind = '0';
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') value.Number += s_[i_++];
    return !value.Number.empty() && (value.Number == "0" || value.Number[0] != '0');
  }

  bool String(std::u16string& out) {
    if (!Take('"')) return false;
    while (i_ < s_.size()) {
      const unsigned char c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') {
        ++i_;
        return true;
      }
      if (c < 0x20) return false;  // controls only escaped
      if (c != '\\') {
        if (!Utf8Char(s_, i_, out)) return false;
        continue;
      }
      if (++i_ >= s_.size()) return false;
      const char e = s_[i_++];
      static const char kShort[] = "\"\"\\\\//b\bf\fn\nr\rt\t";
      bool found = false;
      for (int k = 0; kShort[k] != 0; k += 2) {
        if (kShort[k] == e) {
          out += static_cast<char16_t>(kShort[k + 1]);
          found = true;
        }
      }
      if (found) continue;
      if (e != 'u' || i_ + 4 > s_.size()) return false;
      std::uint32_t unit = 0;
      for (int k = 0; k < 4; ++k) {
        const char h = s_[i_++];
        const int digit = h >= '0' && h <= '9' ? h - '0' : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
        if (digit < 0) return false;  // the writer's digits are upper-case
        unit = unit << 4 | static_cast<std::uint32_t>(digit);
      }
      out += static_cast<char16_t>(unit);
    }
    return false;
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

// One RFC 4180 row ending CR LF, fields decoded from strict UTF-8.
bool CsvRow(const std::string& row, std::vector<std::u16string>& fields) {
  std::size_t i = 0;
  for (;;) {
    fields.emplace_back();
    std::u16string& field = fields.back();
    if (i < row.size() && row[i] == '"') {
      for (++i;;) {
        if (i >= row.size()) return false;
        if (row[i] == '"') {
          if (i + 1 < row.size() && row[i + 1] == '"') {
            field += u'"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        if (!Utf8Char(row, i, field)) return false;
      }
    } else {
      while (i < row.size() && row[i] != ',' && row[i] != '\r') {
        if (row[i] == '"' || row[i] == '\n') return false;
        if (!Utf8Char(row, i, field)) return false;
      }
    }
    if (i < row.size() && row[i] == ',') {
      ++i;
      continue;
    }
    return row.compare(i, std::string::npos, "\r\n") == 0;
  }
}

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

const std::uint32_t kTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xFFFF0010, 0xFFFFFFFF};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  TRecord record;
  const std::uint8_t shape = input.Byte();
  record.Kind = static_cast<TKind>(shape % 5);
  record.HasLabel = shape & 0x08;
  record.Deleted = shape & 0x10;
  record.Partial = shape & 0x20;
  record.HasTime = shape & 0x40;
  const std::uint8_t typeIndex = input.Byte();
  record.Type = typeIndex < sizeof kTypes / sizeof kTypes[0] ? kTypes[typeIndex] : input.Word();
  record.Time = static_cast<std::uint64_t>(input.Word()) << 32 | input.Word();
  record.SubKeys = input.Word();
  record.Values = input.Word();
  record.Label = Wide(input.ShortString(80));
  record.Key = Wide(input.ShortString(160));
  record.Name = Wide(input.ShortString(80));
  record.Line = Wide(input.ShortString(80));
  record.Data = input.Rest();
  // Now and then a value past 1 MB, the data repeated.
  if (shape & 0x80 && !record.Data.empty() && record.Data[0] == '\x7F') {
    while (record.Data.size() < (1u << 20)) record.Data += record.Data;
  }

  std::size_t jsonLone = 0, csvLone = 0;
  const std::string json = FormatJsonRecord(record, &jsonLone);
  const std::string csv = FormatCsvRecord(record, &csvLone);
  FUZZ_CHECK(jsonLone == csvLone, "both formats count the same lone surrogates");
  std::string pieces;
  const TRecordWrite write = [&](const char* bytes, std::size_t count) {
    FUZZ_CHECK(count <= 65536 + 6 * (record.Key.size() + record.Name.size() + record.Label.size() +
                                     record.Line.size()),
               "pieces stay small");
    pieces.append(bytes, count);
  };
  WriteJsonRecord(record, write, nullptr);
  FUZZ_CHECK(pieces == json, "a record written in pieces is the same record");
  pieces.clear();
  WriteCsvRecord(record, write, nullptr);
  FUZZ_CHECK(pieces == csv, "a record written in pieces is the same record");

  FUZZ_CHECK(!json.empty() && json.back() == '\n' && json.find('\n') == json.size() - 1,
             "a JSON record is one line ending with LF");
  std::map<std::string, TJsonValue> fields;
  std::vector<std::string> order;
  FUZZ_CHECK(TJsonReader(json.substr(0, json.size() - 1)).Object(fields, order),
             "a JSON record is one well-formed object in strict UTF-8");
  const bool hasKey = record.Kind != TKind::rkNoKey;
  const bool hasName = record.Kind == TKind::rkValue || record.Kind == TKind::rkMissing;
  const auto text = [&](const char* name) {
    const auto found = fields.find(name);
    return found != fields.end() && found->second.Kind == '"' ? found->second.Text : u"\xFFFF?";
  };
  FUZZ_CHECK(!hasKey || text("key") == record.Key, "the key reads back exactly");
  FUZZ_CHECK(!hasName || text("name") == record.Name, "the name reads back exactly");
  FUZZ_CHECK(!record.HasLabel || text("label") == record.Label, "the label reads back exactly");
  FUZZ_CHECK(hasKey || text("line") == record.Line, "the line reads back exactly");
  FUZZ_CHECK(fields.count("label") == (record.HasLabel ? 1u : 0u), "a label only when given");
  FUZZ_CHECK(!record.HasTime || text("time") == Ascii(FormatKeyTime(record.Time)),
             "the time as /T writes it");
  if (record.Kind == TKind::rkValue) {
    FUZZ_CHECK(text("data") == Ascii(Hex(record.Data)), "the data is every byte in hex");
    FUZZ_CHECK(fields["size"].Number == std::to_string(record.Data.size()), "the size");
    FUZZ_CHECK(fields["type"].Number == std::to_string(record.Type), "the type");
    FUZZ_CHECK(order.back() == "data", "the data comes last");
    const std::u16string units = Wide(record.Data);
    if (record.Type == 1 || record.Type == 2 || record.Type == 6) {
      FUZZ_CHECK(text("text") == units.substr(0, units.find(u'\0')),
                 "a string's text is its units up to the first NUL");
    }
    if (record.Type == 7) {
      std::u16string joined;
      for (const std::u16string& item : fields["text"].Items) joined += item + u'\0';
      FUZZ_CHECK(units.compare(0, joined.size(), joined) == 0 || joined == units + u'\0' ||
                     joined == units + u'\0' + u'\0',
                 "a multi-string's strings are its units between NULs, none lost");
      FUZZ_CHECK(joined.size() + 2 >= units.size(), "a multi-string's strings are all there");
    }
  }

  std::vector<std::u16string> row;
  FUZZ_CHECK(CsvRow(csv, row), "a CSV record is one RFC 4180 row in strict UTF-8");
  FUZZ_CHECK(row.size() == CsvColumnCount(), "a CSV row has every column");
  std::size_t lone = 0;
  FUZZ_CHECK(!hasKey || row[2] == Replaced(record.Key, lone), "the CSV key, U+FFFD for lone");
  FUZZ_CHECK(!hasName || row[3] == Replaced(record.Name, lone), "the CSV name, U+FFFD for lone");
  FUZZ_CHECK(record.Kind != TKind::rkValue || row.back() == Ascii(Hex(record.Data)),
             "the CSV data is every byte in hex");
  return 0;
}
