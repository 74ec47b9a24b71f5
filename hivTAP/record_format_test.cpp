#include "hivTAP/record_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using TKind = TRecord::TKind;

// UTF-16LE bytes, as a string value stores them.
std::string Le(const std::u16string& text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TRecord KeyRecord(const std::u16string& key) {
  TRecord record;
  record.Kind = TKind::rkKey;
  record.Key = key;
  return record;
}

TRecord ValueRecord(std::uint32_t type, const std::string& data) {
  TRecord record;
  record.Key = u"HKCU\\K";
  record.Name = u"v";
  record.Type = type;
  record.Data = data;
  return record;
}

// Splits one CSV row (ending CR LF) into its fields, undoing RFC 4180 quoting.
std::vector<std::string> CsvFields(const std::string& row) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i + 2 < row.size() || (quoted && i < row.size()); ++i) {
    const char c = row[i];
    if (quoted && c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

const char16_t kHigh = 0xD83D, kLow = 0xDE00;  // U+1F600 together

// Names of every shape: how JSON writes them, how CSV does, and how many
// lone surrogates each holds.
struct NameCase {
  std::u16string name;
  std::string json;
  std::string csv;
  std::size_t lone;
} const kNames[] = {
    {u"plain", "plain", "plain", 0},
    {u"", "", "", 0},
    {u"a\"b", "a\\\"b", "\"a\"\"b\"", 0},
    {u"C:\\dir", "C:\\\\dir", "C:\\dir", 0},
    {u"a,b", "a,b", "\"a,b\"", 0},
    {u"l1\r\nl2", "l1\\r\\nl2", "\"l1\r\nl2\"", 0},
    {u"\t\b\f", "\\t\\b\\f", "\t\b\f", 0},
    {std::u16string(u"n\0u", 3), "n\\u0000u", std::string("n\0u", 3), 0},
    {u"\x1F\x7F", "\\u001F\x7F", "\x1F\x7F", 0},
    {u"\u0080\u00E9", "\xC2\x80\xC3\xA9", "\xC2\x80\xC3\xA9", 0},
    {u"\u0131\u03A9\u01C5\u4E2D", "\xC4\xB1\xCE\xA9\xC7\x85\xE4\xB8\xAD",
     "\xC4\xB1\xCE\xA9\xC7\x85\xE4\xB8\xAD", 0},
    {{kHigh, kLow}, "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", 0},
    {{u'x', kHigh}, "x\\uD83D", "x\xEF\xBF\xBD", 1},
    {{kLow, kHigh}, "\\uDE00\\uD83D", "\xEF\xBF\xBD\xEF\xBF\xBD", 2},
    {{kHigh, u'"', kLow}, "\\uD83D\\\"\\uDE00", "\"\xEF\xBF\xBD\"\"\xEF\xBF\xBD\"", 2},
    {{kHigh, kHigh, kLow}, "\\uD83D\xF0\x9F\x98\x80", "\xEF\xBF\xBD\xF0\x9F\x98\x80", 1},
};

TEST(RecordFormat, JsonEscapesNames) {
  for (const NameCase& c : kNames) {
    SCOPED_TRACE(c.json);
    std::size_t lone = 5;
    EXPECT_EQ(FormatJsonRecord(KeyRecord(c.name), &lone),
              "{\"key\":\"" + c.json + "\",\"subkeys\":0,\"values\":0}\n");
    EXPECT_EQ(lone, 5 + c.lone);
  }
}

TEST(RecordFormat, CsvQuotesNames) {
  for (const NameCase& c : kNames) {
    SCOPED_TRACE(c.json);
    std::size_t lone = 0;
    EXPECT_EQ(FormatCsvRecord(KeyRecord(c.name), &lone), "key,," + c.csv + ",,,,,0,0,,,,,\r\n");
    EXPECT_EQ(lone, c.lone);
  }
}

// The text of each type that has one, as text mode reads it; JSON and CSV.
TEST(RecordFormat, TextOfEachType) {
  struct Case {
    std::uint32_t type;
    std::string data;
    const char* json;  // the "text" field's value; null: no text field
    const char* csv;
  } cases[] = {
      {1, Le(u"abc"), "\"abc\"", "abc"},
      {1, Le(std::u16string(u"ab\0cd\0", 6)), "\"ab\"", "ab"},
      {1, Le(u"ab") + "c", "\"ab\"", "ab"},  // odd last byte
      {1, "", "\"\"", ""},
      {2, Le(u"%SystemRoot%\\x"), "\"%SystemRoot%\\\\x\"", "%SystemRoot%\\x"},
      {6, Le(u"\\Registry\\Machine\\X"), "\"\\\\Registry\\\\Machine\\\\X\"",
       "\\Registry\\Machine\\X"},
      {1, Le({u'a', kHigh}), "\"a\\uD83D\"", "a\xEF\xBF\xBD"},
      // A DWORD of up to 4 bytes, zero-extended; longer ones are unread.
      {4, "", "\"0\"", "0"},
      {4, "\x01", "\"1\"", "1"},
      {4, "\x01\x02\x03", "\"197121\"", "197121"},
      {4, "\xFF\xFF\xFF\xFF", "\"-1\"", "-1"},
      {4, std::string("\x00\x00\x00\x80", 4), "\"-2147483648\"", "-2147483648"},
      {4, "\xFF\xFF\xFF\xFF\xFF", nullptr, ""},
      {11, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", "\"-1\"", "-1"},
      {11, std::string("\x00\x00\x00\x00\x00\x00\x00\x80", 8), "\"-9223372036854775808\"",
       "-9223372036854775808"},
      {11, "\xFF\xFF\xFF\xFF", "\"4294967295\"", "4294967295"},
      {11, std::string(9, '\x01'), nullptr, ""},
      // Up to two trailing NULs end the list; empty strings before them stay.
      {7, Le(std::u16string(u"a\0b\0\0", 5)), "[\"a\",\"b\"]", "\"a\nb\""},
      {7, Le(std::u16string(u"a\0b", 3)), "[\"a\",\"b\"]", "\"a\nb\""},
      {7, Le(std::u16string(u"a\0\0\0", 4)), "[\"a\",\"\"]", "\"a\n\""},
      {7, Le(std::u16string(u"a\0\0b\0\0", 6)), "[\"a\",\"\",\"b\"]", "\"a\n\nb\""},
      {7, Le(std::u16string(u"\0\0\0", 3)), "[\"\",\"\"]", "\"\n\""},
      {7, Le(std::u16string(u"\0", 1)), "[]", ""},
      {7, "", "[]", ""},
      {7, Le(std::u16string(u"q\"\0,", 4)) + "\x01", "[\"q\\\"\",\",\"]", "\"q\"\"\n,\""},
      // No text form.
      {3, "\x01", nullptr, ""},
      {5, "\x01\x02\x03\x04", nullptr, ""},
      {0, "\x01", nullptr, ""},
      {0xFFFF0010, std::string("\x00\x01", 2), nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << " " << (c.json ? c.json : "none"));
    TRecord record = ValueRecord(c.type, c.data);
    const std::string json = FormatJsonRecord(record, nullptr);
    const std::string head =
        "{\"key\":\"HKCU\\\\K\",\"name\":\"v\",\"type\":" + std::to_string(c.type) +
        ",\"size\":" + std::to_string(c.data.size());
    const std::string text = c.json ? std::string(",\"text\":") + c.json : "";
    ASSERT_EQ(json.compare(0, head.size() + text.size() + 9, head + text + ",\"data\":\""), 0)
        << json;
    const std::vector<std::string> fields = CsvFields(FormatCsvRecord(record, nullptr));
    ASSERT_EQ(fields.size(), CsvColumnCount());
    EXPECT_EQ(fields[12], CsvFields(std::string(c.csv) + "\r\n")[0]);
    EXPECT_EQ(fields[5], std::to_string(c.type));
  }
}

// Every byte, in upper-case hex, whatever the size and type.
TEST(RecordFormat, DataIsEveryByte) {
  std::string data;
  for (int i = 0; i < 256; ++i) data += static_cast<char>(i);
  std::string hex;
  for (int i = 0; i < 256; ++i) {
    hex += "0123456789ABCDEF"[i >> 4];
    hex += "0123456789ABCDEF"[i & 15];
  }
  for (const std::uint32_t type : {1u, 3u, 4u, 7u, 0xFFFF0010u}) {
    SCOPED_TRACE(type);
    const TRecord record = ValueRecord(type, data);
    const std::string json = FormatJsonRecord(record, nullptr);
    EXPECT_EQ(json.substr(json.size() - hex.size() - 12), ",\"data\":\"" + hex + "\"}\n");
    EXPECT_NE(json.find(",\"size\":256,"), std::string::npos);
    const std::vector<std::string> fields = CsvFields(FormatCsvRecord(record, nullptr));
    EXPECT_EQ(fields.back(), hex);
    EXPECT_EQ(fields[6], "256");
  }
}

// Each kind carries its own fields, in one order; CSV gives every kind
// every column.
TEST(RecordFormat, FieldsOfEachKind) {
  TRecord value = ValueRecord(3, "\xAB");
  value.HasLabel = true;
  value.Label = u"L=1";
  value.HasTime = true;
  value.Time = 129780136261234567ULL;
  TRecord key = KeyRecord(u"HKLM\\S");
  key.HasTime = true;
  key.Time = 0;
  key.SubKeys = 4294967295u;
  key.Values = 7;
  key.Deleted = true;
  TRecord missing = ValueRecord(1, "ignored");
  missing.Kind = TKind::rkMissing;
  missing.Name = u"";
  TRecord missingKey = missing;
  missingKey.Kind = TKind::rkMissingKey;
  TRecord line;
  line.Kind = TKind::rkNoKey;
  line.Line = u"not a key, \"quoted\"";
  line.Partial = true;
  // Recovered, its cell reused since: neither size, text nor data.
  TRecord lost = ValueRecord(1, "");
  lost.Deleted = true;
  lost.Unreliable = true;
  struct Case {
    const TRecord& record;
    const char* json;
    const char* csv;
  } cases[] = {
      {value,
       "{\"label\":\"L=1\",\"key\":\"HKCU\\\\K\",\"name\":\"v\","
       "\"time\":\"2012-04-04T11:47:06.1234567Z\",\"type\":3,\"size\":1,\"data\":\"AB\"}\n",
       "value,L=1,HKCU\\K,v,2012-04-04T11:47:06.1234567Z,3,1,,,,,,,AB\r\n"},
      {key,
       "{\"key\":\"HKLM\\\\S\",\"time\":\"1601-01-01T00:00:00.0000000Z\",\"subkeys\":4294967295,"
       "\"values\":7,\"deleted\":true}\n",
       "key,,HKLM\\S,,1601-01-01T00:00:00.0000000Z,,,4294967295,7,,true,,,\r\n"},
      {missing, "{\"key\":\"HKCU\\\\K\",\"name\":\"\",\"missing\":true}\n",
       "missing value,,HKCU\\K,,,,,,,,,,,\r\n"},
      {missingKey, "{\"key\":\"HKCU\\\\K\",\"missing\":true}\n",
       "missing key,,HKCU\\K,,,,,,,,,,,\r\n"},
      {lost,
       "{\"key\":\"HKCU\\\\K\",\"name\":\"v\",\"type\":1,\"deleted\":true,\"unreliable\":true}\n",
       "value,,HKCU\\K,v,,1,,,,,true,,,\r\n"},
      {line, "{\"line\":\"not a key, \\\"quoted\\\"\",\"partial\":true}\n",
       "line,,,,,,,,,\"not a key, \"\"quoted\"\"\",,true,,\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(FormatJsonRecord(c.record, nullptr), c.json);
    EXPECT_EQ(FormatCsvRecord(c.record, nullptr), c.csv);
    EXPECT_EQ(CsvFields(c.csv).size(), CsvColumnCount());
  }
  EXPECT_EQ(CsvHeader(),
            "kind,label,key,name,time,type,size,subkeys,values,line,deleted,partial,text,data\r\n");
}

// Appending keeps what the buffer held; both renderings.
TEST(RecordFormat, AppendKeepsTheBuffer) {
  const TRecord record = ValueRecord(4, "\x05");
  std::string json = "prefix";
  AppendJsonRecord(record, json, nullptr);
  AppendJsonRecord(record, json, nullptr);
  EXPECT_EQ(json, "prefix" + FormatJsonRecord(record, nullptr) + FormatJsonRecord(record, nullptr));
  std::string csv = CsvHeader();
  AppendCsvRecord(record, csv, nullptr);
  EXPECT_EQ(csv, CsvHeader() + FormatCsvRecord(record, nullptr));
}

// In pieces: the same bytes as whole, none of them past 64 KiB however big
// the value, and lone surrogates counted across pieces.
TEST(RecordFormat, WriteInPiecesGivesTheSameBytes) {
  // Pairs that straddle every block's end.
  std::string big = Le(u"x");
  for (int i = 0; i < (3 << 20) / 4; ++i) big += Le({kHigh, kLow});
  struct Case {
    std::uint32_t type;
    std::string data;
  } cases[] = {{3, std::string(1 << 20, '\x5A')},
               {1, big},
               {7, big + Le({kLow, 0, u'"', 0, 0})},
               {4, "\x01"},
               {3, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    TRecord record = ValueRecord(c.type, c.data);
    record.Name = {kHigh};
    for (const bool json : {true, false}) {
      std::string whole, pieces;
      std::size_t largest = 0, lone = 0, pieceLone = 0;
      const auto write = [&](const char* bytes, std::size_t size) {
        pieces.append(bytes, size);
        largest = std::max(largest, size);
      };
      if (json) {
        AppendJsonRecord(record, whole, &lone);
        WriteJsonRecord(record, write, &pieceLone);
      } else {
        AppendCsvRecord(record, whole, &lone);
        WriteCsvRecord(record, write, &pieceLone);
      }
      EXPECT_TRUE(pieces == whole);
      EXPECT_LE(largest, 65536u);
      EXPECT_EQ(pieceLone, lone);
      EXPECT_EQ(lone, c.type == 7 ? 2u : 1u);
    }
  }
}

}  // namespace
