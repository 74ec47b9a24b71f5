#include "hivTAP/record_format.h"

#include <cstring>

#include "hivTAP/key_time.h"

const char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

namespace {

using TKind = TRecord::TKind;

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::uint32_t kRegSz = 1, kRegExpandSz = 2, kRegDword = 4, kRegLink = 6, kRegMultiSz = 7,
                        kRegQword = 11;
// Field names, numbers, time and punctuation of one record.
constexpr std::size_t kFixedBound = 400;

const char* const kCsvColumns[] = {"kind",    "label",   "key",     "name",   "time",
                                   "type",    "size",    "subkeys", "values", "line",
                                   "deleted", "partial", "text",    "data"};

// UTF-16 units from a u16string or from UTF-16LE data bytes.
struct TWide {
  const char16_t* units;
  std::uint32_t operator[](std::size_t i) const { return units[i]; }
};
struct TLittleEndian {
  const unsigned char* bytes;
  std::uint32_t operator[](std::size_t i) const {
    return bytes[2 * i] | static_cast<std::uint32_t>(bytes[2 * i + 1]) << 8;
  }
};

TLittleEndian UnitsOf(const std::string& data) {
  return TLittleEndian{reinterpret_cast<const unsigned char*>(data.data())};
}

bool IsHigh(std::uint32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLow(std::uint32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// Any unit but ASCII: 2 or 3 bytes, 4 for a surrogate pair (consuming the
// low unit too). A lone surrogate is left to the caller: false.
template <class TUnits>
bool Utf8(char*& p, const TUnits& units, std::size_t& i, std::size_t count) {
  const std::uint32_t unit = units[i];
  if (unit < 0x800) {
    *p++ = static_cast<char>(0xC0 | unit >> 6);
    *p++ = static_cast<char>(0x80 | (unit & 0x3F));
  } else if (IsHigh(unit) && i + 1 < count && IsLow(units[i + 1])) {
    const std::uint32_t code = 0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00);
    *p++ = static_cast<char>(0xF0 | code >> 18);
    *p++ = static_cast<char>(0x80 | (code >> 12 & 0x3F));
    *p++ = static_cast<char>(0x80 | (code >> 6 & 0x3F));
    *p++ = static_cast<char>(0x80 | (code & 0x3F));
  } else if (IsHigh(unit) || IsLow(unit)) {
    return false;
  } else {
    *p++ = static_cast<char>(0xE0 | unit >> 12);
    *p++ = static_cast<char>(0x80 | (unit >> 6 & 0x3F));
    *p++ = static_cast<char>(0x80 | (unit & 0x3F));
  }
  return true;
}

// ASCII that a JSON string takes as it is.
struct TJsonPlain {
  bool plain[128] = {};
  constexpr TJsonPlain() {
    for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
  }
};
constexpr TJsonPlain kJsonPlain;

char* JsonUnitEscape(char* p, std::uint32_t unit) {
  *p++ = '\\';
  *p++ = 'u';
  for (int shift = 12; shift >= 0; shift -= 4) *p++ = kHexDigits[unit >> shift & 0xF];
  return p;
}

// The units' characters inside a JSON string (no quotes): at most 6 bytes a unit.
template <class TUnits>
char* JsonChars(char* p, const TUnits& units, std::size_t count, std::size_t& lone) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t unit = units[i];
    if (unit < 0x80) {
      if (kJsonPlain.plain[unit]) {
        *p++ = static_cast<char>(unit);
        continue;
      }
      *p++ = '\\';
      switch (unit) {
        case '"':
          *p++ = '"';
          break;
        case '\\':
          *p++ = '\\';
          break;
        case '\b':
          *p++ = 'b';
          break;
        case '\f':
          *p++ = 'f';
          break;
        case '\n':
          *p++ = 'n';
          break;
        case '\r':
          *p++ = 'r';
          break;
        case '\t':
          *p++ = 't';
          break;
        default:
          p = JsonUnitEscape(p - 1, unit);
          break;
      }
    } else if (!Utf8(p, units, i, count)) {
      p = JsonUnitEscape(p, unit);
      ++lone;
    }
  }
  return p;
}

// The units as CSV field text, quotes doubled: at most 3 bytes a unit. Sets
// `quote` when the field must be quoted.
template <class TUnits>
char* CsvChars(char* p, const TUnits& units, std::size_t count, std::size_t& lone, bool& quote) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t unit = units[i];
    if (unit < 0x80) {
      *p++ = static_cast<char>(unit);
      if (unit == '"') {
        *p++ = '"';
        quote = true;
      } else if (unit == ',' || unit == '\r' || unit == '\n') {
        quote = true;
      }
    } else if (!Utf8(p, units, i, count)) {
      *p++ = '\xEF';  // U+FFFD
      *p++ = '\xBF';
      *p++ = '\xBD';
      ++lone;
    }
  }
  return p;
}

char* Literal(char* p, const char* text) {
  const std::size_t size = std::strlen(text);
  std::memcpy(p, text, size);
  return p + size;
}

char* Decimal(char* p, std::uint64_t number) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0) *p++ = digits[--count];
  return p;
}

char* SignedDecimal(char* p, std::int64_t number) {
  if (number >= 0) return Decimal(p, static_cast<std::uint64_t>(number));
  *p++ = '-';
  // Negated as unsigned: INT64_MIN has no positive twin.
  return Decimal(p, 0 - static_cast<std::uint64_t>(number));
}

char* Hex(char* p, const std::string& data) {
  for (const char c : data) {
    const unsigned char byte = static_cast<unsigned char>(c);
    *p++ = kHexDigits[byte >> 4];
    *p++ = kHexDigits[byte & 0x0F];
  }
  return p;
}

// The value's text form, shared by both renderings.
struct TText {
  enum class TForm { tfNone, tfString, tfStrings, tfNumber } Form = TForm::tfNone;
  std::size_t Units = 0;  // tfString, tfStrings: the units shown
  std::int64_t Number = 0;
};

TText TextOf(const TRecord& record) {
  TText text;
  const std::string& data = record.Data;
  const std::size_t units = data.size() / 2;  // an odd last byte is no character
  switch (record.Type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegLink: {
      text.Form = TText::TForm::tfString;
      const TLittleEndian wide = UnitsOf(data);
      while (text.Units < units && wide[text.Units] != 0) ++text.Units;
      break;
    }
    case kRegMultiSz: {
      // The list ends with the last string's NUL and its own; either may be
      // missing, and an empty string before them is kept (as text mode does).
      text.Form = TText::TForm::tfStrings;
      const TLittleEndian wide = UnitsOf(data);
      text.Units = units;
      for (int i = 0; i < 2 && text.Units > 0 && wide[text.Units - 1] == 0; ++i) --text.Units;
      break;
    }
    case kRegDword:
    case kRegQword: {
      // Text mode reads into a cleared number: a short value gives its low
      // bytes, a longer one cannot be read and has no text.
      const std::size_t width = record.Type == kRegDword ? 4 : 8;
      if (data.size() > width) break;
      std::uint64_t bits = 0;
      for (std::size_t i = data.size(); i > 0; --i) {
        bits = bits << 8 | static_cast<unsigned char>(data[i - 1]);
      }
      text.Form = TText::TForm::tfNumber;
      text.Number = width == 4 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(bits))
                               : static_cast<std::int64_t>(bits);
      break;
    }
    default:
      break;
  }
  return text;
}

std::size_t NameUnits(const TRecord& record) {
  return record.Label.size() + record.Key.size() + record.Name.size() + record.Line.size();
}

// Writes into `out` past its end at most `bound` bytes through `write`.
template <class TWrite>
void AppendBounded(std::string& out, std::size_t bound, TWrite write) {
  const std::size_t start = out.size();
  out.resize(start + bound);
  char* const begin = &out[0];
  char* const end = write(begin + start);
  out.resize(static_cast<std::size_t>(end - begin));
}

// --- JSON ---

char* JsonField(char* p, const char* name) {
  *p++ = ',';
  *p++ = '"';
  p = Literal(p, name);
  *p++ = '"';
  *p++ = ':';
  return p;
}

char* JsonString(char* p, const std::u16string& text, std::size_t& lone) {
  *p++ = '"';
  p = JsonChars(p, TWide{text.data()}, text.size(), lone);
  *p++ = '"';
  return p;
}

char* JsonText(char* p, const TRecord& record, const TText& text, std::size_t& lone) {
  const TLittleEndian wide = UnitsOf(record.Data);
  switch (text.Form) {
    case TText::TForm::tfString:
      *p++ = '"';
      p = JsonChars(p, wide, text.Units, lone);
      *p++ = '"';
      break;
    case TText::TForm::tfStrings: {
      *p++ = '[';
      if (text.Units > 0) {
        // Between the brackets: the strings' characters, each NUL a string's end.
        *p++ = '"';
        std::size_t from = 0;
        for (std::size_t i = 0; i <= text.Units; ++i) {
          if (i < text.Units && wide[i] != 0) continue;
          p = JsonChars(p, TLittleEndian{wide.bytes + 2 * from}, i - from, lone);
          if (i < text.Units) p = Literal(p, "\",\"");
          from = i + 1;
        }
        *p++ = '"';
      }
      *p++ = ']';
      break;
    }
    case TText::TForm::tfNumber:
      *p++ = '"';
      p = SignedDecimal(p, text.Number);
      *p++ = '"';
      break;
    case TText::TForm::tfNone:
      break;
  }
  return p;
}

char* WriteJson(char* p, const TRecord& record, std::size_t& lone) {
  const TKind kind = record.Kind;
  const bool isValue = kind == TKind::rkValue;
  // Every field starts with a comma; the first one's becomes the brace.
  char* const first = p;
  if (record.HasLabel) p = JsonString(JsonField(p, "label"), record.Label, lone);
  if (kind != TKind::rkNoKey) p = JsonString(JsonField(p, "key"), record.Key, lone);
  if (isValue || kind == TKind::rkMissing) {
    p = JsonString(JsonField(p, "name"), record.Name, lone);
  }
  if (record.HasTime) {
    p = JsonField(p, "time");
    *p++ = '"';
    p += WriteKeyTime(record.Time, p);
    *p++ = '"';
  }
  if (isValue) p = Decimal(JsonField(p, "type"), record.Type);
  if (isValue && !record.Unreliable) p = Decimal(JsonField(p, "size"), record.Data.size());
  if (kind == TKind::rkKey) {
    p = Decimal(JsonField(p, "subkeys"), record.SubKeys);
    p = Decimal(JsonField(p, "values"), record.Values);
  }
  if (kind == TKind::rkMissing || kind == TKind::rkMissingKey) {
    p = Literal(JsonField(p, "missing"), "true");
  }
  if (kind == TKind::rkNoKey) p = JsonString(JsonField(p, "line"), record.Line, lone);
  if (record.Deleted) p = Literal(JsonField(p, "deleted"), "true");
  if (record.Partial) p = Literal(JsonField(p, "partial"), "true");
  if (record.Unreliable) p = Literal(JsonField(p, "unreliable"), "true");
  if (isValue && !record.Unreliable) {
    const TText text = TextOf(record);
    if (text.Form != TText::TForm::tfNone) p = JsonText(JsonField(p, "text"), record, text, lone);
    p = JsonField(p, "data");
    *p++ = '"';
    p = Hex(p, record.Data);
    *p++ = '"';
  }
  if (p == first) *p++ = ',';
  *first = '{';
  *p++ = '}';
  *p++ = '\n';
  return p;
}

// --- CSV ---

// A text field: quoted only when it holds a comma, a quote, CR or LF.
template <class TWriteChars>
char* CsvField(char* p, TWriteChars writeChars) {
  char* const start = p;
  *p++ = '"';
  bool quote = false;
  p = writeChars(p, quote);
  if (quote) {
    *p++ = '"';
  } else {
    std::memmove(start, start + 1, static_cast<std::size_t>(p - start - 1));
    --p;
  }
  return p;
}

char* CsvString(char* p, const std::u16string& text, std::size_t& lone) {
  return CsvField(p, [&](char* q, bool& quote) {
    return CsvChars(q, TWide{text.data()}, text.size(), lone, quote);
  });
}

char* CsvText(char* p, const TRecord& record, const TText& text, std::size_t& lone) {
  const TLittleEndian wide = UnitsOf(record.Data);
  switch (text.Form) {
    case TText::TForm::tfString:
    case TText::TForm::tfStrings:
      return CsvField(p, [&](char* q, bool& quote) {
        // A multi-string's NULs join its strings with LF.
        std::size_t from = 0;
        for (std::size_t i = 0; i <= text.Units; ++i) {
          if (i < text.Units && wide[i] != 0) continue;
          q = CsvChars(q, TLittleEndian{wide.bytes + 2 * from}, i - from, lone, quote);
          if (i < text.Units) {
            *q++ = '\n';
            quote = true;
          }
          from = i + 1;
        }
        return q;
      });
    case TText::TForm::tfNumber:
      return SignedDecimal(p, text.Number);
    case TText::TForm::tfNone:
      break;
  }
  return p;
}

const char* CsvKindName(TKind kind) {
  switch (kind) {
    case TKind::rkValue:
      return "value";
    case TKind::rkKey:
      return "key";
    case TKind::rkMissing:
      return "missing value";
    case TKind::rkMissingKey:
      return "missing key";
    case TKind::rkNoKey:
      return "line";
  }
  return "";
}

char* WriteCsv(char* p, const TRecord& record, std::size_t& lone) {
  const TKind kind = record.Kind;
  const bool isValue = kind == TKind::rkValue;
  p = Literal(p, CsvKindName(kind));
  *p++ = ',';
  if (record.HasLabel) p = CsvString(p, record.Label, lone);
  *p++ = ',';
  if (kind != TKind::rkNoKey) p = CsvString(p, record.Key, lone);
  *p++ = ',';
  if (isValue || kind == TKind::rkMissing) p = CsvString(p, record.Name, lone);
  *p++ = ',';
  if (record.HasTime) p += WriteKeyTime(record.Time, p);
  *p++ = ',';
  if (isValue) p = Decimal(p, record.Type);
  *p++ = ',';
  if (isValue && !record.Unreliable) p = Decimal(p, record.Data.size());
  *p++ = ',';
  if (kind == TKind::rkKey) p = Decimal(p, record.SubKeys);
  *p++ = ',';
  if (kind == TKind::rkKey) p = Decimal(p, record.Values);
  *p++ = ',';
  if (kind == TKind::rkNoKey) p = CsvString(p, record.Line, lone);
  *p++ = ',';
  if (record.Deleted) p = Literal(p, "true");
  *p++ = ',';
  if (record.Partial) p = Literal(p, "true");
  *p++ = ',';
  // An unreliable value: the size, text and data columns stay empty.
  const bool known = isValue && !record.Unreliable;
  if (known) p = CsvText(p, record, TextOf(record), lone);
  *p++ = ',';
  if (known) p = Hex(p, record.Data);
  *p++ = '\r';
  *p++ = '\n';
  return p;
}

}  // namespace

void AppendJsonRecord(const TRecord& record, std::string& out, std::size_t* loneSurrogates) {
  std::size_t lone = 0;
  // 6 bytes a name unit at most, 2 a data byte for the hex and 3 for the text.
  const std::size_t bound = kFixedBound + 6 * NameUnits(record) + 5 * record.Data.size();
  AppendBounded(out, bound, [&](char* p) { return WriteJson(p, record, lone); });
  if (loneSurrogates != nullptr) *loneSurrogates += lone;
}

std::string FormatJsonRecord(const TRecord& record, std::size_t* loneSurrogates) {
  std::string out;
  AppendJsonRecord(record, out, loneSurrogates);
  return out;
}

void AppendCsvRecord(const TRecord& record, std::string& out, std::size_t* loneSurrogates) {
  std::size_t lone = 0;
  // 3 bytes a name unit at most, 2 a data byte for the hex and 2 for the text.
  const std::size_t bound = kFixedBound + 3 * NameUnits(record) + 4 * record.Data.size();
  AppendBounded(out, bound, [&](char* p) { return WriteCsv(p, record, lone); });
  if (loneSurrogates != nullptr) *loneSurrogates += lone;
}

std::string FormatCsvRecord(const TRecord& record, std::size_t* loneSurrogates) {
  std::string out;
  AppendCsvRecord(record, out, loneSurrogates);
  return out;
}

std::string CsvHeader() {
  std::string header;
  for (const char* column : kCsvColumns) {
    if (!header.empty()) header += ',';
    header += column;
  }
  return header + "\r\n";
}

std::size_t CsvColumnCount() { return sizeof kCsvColumns / sizeof kCsvColumns[0]; }
