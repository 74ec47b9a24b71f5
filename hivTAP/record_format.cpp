#include "hivTAP/record_format.h"

#include <algorithm>

#include "hivTAP/key_time.h"
#include "hivTAP/record_chars.h"

const char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

namespace {

using record_chars::CsvChars;
using record_chars::CsvQuoted;
using record_chars::Decimal;
using record_chars::Hex;
using record_chars::JsonChars;
using record_chars::Literal;
using record_chars::SignedDecimal;
using record_chars::TLittleEndian;
using record_chars::TWide;
using record_chars::UnitsOf;
using TKind = TRecord::TKind;

constexpr std::uint32_t kRegSz = 1, kRegExpandSz = 2, kRegDword = 4, kRegLink = 6, kRegMultiSz = 7,
                        kRegQword = 11;
// Field names, numbers, time and punctuation of one record.
constexpr std::size_t kFixedBound = 400;
// A value's text and data go out in blocks of this many units or bytes.
constexpr std::size_t kBlockUnits = 8192;
constexpr std::size_t kBlockBytes = 16384;
// A writer gets the record in pieces of at most this many bytes (one block
// fits), unless its names alone are more.
constexpr std::size_t kPieceSize = 65536;

const char* const kCsvColumns[] = {"kind",    "label",   "key",     "name",   "time",
                                   "type",    "size",    "subkeys", "values", "line",
                                   "deleted", "partial", "text",    "data"};

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

// Where the writers put their bytes: the end of a string, grown as they ask
// for room; with a TRecordWrite, handed on in pieces, so that only the names
// are ever held whole.
class TOut {
 public:
  TOut(std::string& buffer, const TRecordWrite* write)
      : buffer_(buffer), write_(write), start_(buffer.size()) {}

  // A pointer with room for `size` bytes from where `p` (null: the start) is.
  char* Room(char* p, std::size_t size) {
    std::size_t at = p == nullptr ? start_ : static_cast<std::size_t>(p - &buffer_[0]);
    if (write_ != nullptr && at > start_ && at - start_ + size > kPieceSize) {
      (*write_)(&buffer_[start_], at - start_);
      at = start_;
    }
    if (buffer_.size() - at < size) buffer_.resize(at + size);
    return &buffer_[0] + at;
  }

  void End(char* p) {
    buffer_.resize(static_cast<std::size_t>(p - &buffer_[0]));
    if (write_ != nullptr && buffer_.size() > start_) {
      (*write_)(&buffer_[start_], buffer_.size() - start_);
      buffer_.resize(start_);
    }
  }

 private:
  std::string& buffer_;
  const TRecordWrite* write_;
  std::size_t start_;
};

// Every byte in hex, a block at a time.
char* HexBlocks(TOut& out, char* p, const std::string& data) {
  for (std::size_t from = 0; from < data.size(); from += kBlockBytes) {
    const std::size_t to = std::min(data.size(), from + kBlockBytes);
    p = Hex(out.Room(p, 2 * (to - from) + 8), data, from, to);
  }
  return p;
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
  std::size_t i = 0;
  p = JsonChars<false>(p, TWide{text.data()}, i, text.size(), text.size(), lone);
  *p++ = '"';
  return p;
}

template <bool kMulti>
char* JsonTextBlocks(TOut& out, char* p, const TLittleEndian& wide, std::size_t count,
                     std::size_t& lone) {
  for (std::size_t i = 0; i < count;) {
    const std::size_t end = std::min(count, i + kBlockUnits);
    p = JsonChars<kMulti>(out.Room(p, 6 * (end - i) + 8), wide, i, end, count, lone);
  }
  return p;
}

char* JsonText(TOut& out, char* p, const TRecord& record, const TText& text, std::size_t& lone) {
  const TLittleEndian wide = UnitsOf(record.Data);
  switch (text.Form) {
    case TText::TForm::tfString:
      *p++ = '"';
      p = JsonTextBlocks<false>(out, p, wide, text.Units, lone);
      *p++ = '"';
      break;
    case TText::TForm::tfStrings:
      // Each NUL between the brackets ends a string.
      *p++ = '[';
      if (text.Units > 0) {
        *p++ = '"';
        p = JsonTextBlocks<true>(out, p, wide, text.Units, lone);
        *p++ = '"';
      }
      *p++ = ']';
      break;
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

void WriteJson(TOut& out, const TRecord& record, std::size_t& lone) {
  const TKind kind = record.Kind;
  const bool isValue = kind == TKind::rkValue;
  // 6 bytes a name unit at most; a small value's text and data in the same go.
  char* p = out.Room(
      nullptr, kFixedBound + 6 * NameUnits(record) + 5 * std::min(record.Data.size(), kBlockBytes));
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
  if (p == first) *p++ = ',';
  *first = '{';
  // An unreliable value has no size, text or data to give.
  if (isValue && !record.Unreliable) {
    const TText text = TextOf(record);
    if (text.Form != TText::TForm::tfNone) {
      p = JsonText(out, JsonField(p, "text"), record, text, lone);
    }
    p = JsonField(out.Room(p, 16), "data");
    *p++ = '"';
    p = HexBlocks(out, p, record.Data);
    p = out.Room(p, 8);
    *p++ = '"';
  }
  *p++ = '}';
  *p++ = '\n';
  out.End(p);
}

// --- CSV ---

// A name's field: quoted only when it holds a comma, a quote, CR or LF.
char* CsvString(char* p, const std::u16string& text, std::size_t& lone) {
  const TWide wide{text.data()};
  const bool quoted = CsvQuoted<false>(wide, text.size());
  if (quoted) *p++ = '"';
  std::size_t i = 0;
  p = CsvChars<false>(p, wide, i, text.size(), text.size(), lone);
  if (quoted) *p++ = '"';
  return p;
}

template <bool kMulti>
char* CsvTextBlocks(TOut& out, char* p, const TLittleEndian& wide, std::size_t count,
                    std::size_t& lone) {
  const bool quoted = CsvQuoted<kMulti>(wide, count);
  if (quoted) *p++ = '"';
  for (std::size_t i = 0; i < count;) {
    const std::size_t end = std::min(count, i + kBlockUnits);
    p = CsvChars<kMulti>(out.Room(p, 3 * (end - i) + 8), wide, i, end, count, lone);
  }
  if (quoted) *p++ = '"';
  return p;
}

void WriteCsv(TOut& out, const TRecord& record, std::size_t& lone) {
  const TKind kind = record.Kind;
  const bool isValue = kind == TKind::rkValue;
  // 3 bytes a name unit at most, with 2 quotes a field.
  char* p = out.Room(
      nullptr, kFixedBound + 3 * NameUnits(record) + 4 * std::min(record.Data.size(), kBlockBytes));
  // In TKind's order.
  static const char* const kKindNames[] = {"value", "key", "missing value", "missing key", "line"};
  p = Literal(p, kKindNames[static_cast<int>(kind)]);
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
  if (isValue && !record.Unreliable) {
    const TText text = TextOf(record);
    const TLittleEndian wide = UnitsOf(record.Data);
    if (text.Form == TText::TForm::tfString) {
      p = CsvTextBlocks<false>(out, p, wide, text.Units, lone);
    } else if (text.Form == TText::TForm::tfStrings) {
      // The strings joined by LF.
      p = CsvTextBlocks<true>(out, p, wide, text.Units, lone);
    } else if (text.Form == TText::TForm::tfNumber) {
      p = SignedDecimal(p, text.Number);
    }
    p = out.Room(p, 8);
    *p++ = ',';
    p = HexBlocks(out, p, record.Data);
    p = out.Room(p, 8);
  } else {
    *p++ = ',';
  }
  *p++ = '\r';
  *p++ = '\n';
  out.End(p);
}

}  // namespace

void AppendJsonRecord(const TRecord& record, std::string& out, std::size_t* loneSurrogates) {
  std::size_t lone = 0;
  TOut to(out, nullptr);
  WriteJson(to, record, lone);
  if (loneSurrogates != nullptr) *loneSurrogates += lone;
}

std::string FormatJsonRecord(const TRecord& record, std::size_t* loneSurrogates) {
  std::string out;
  AppendJsonRecord(record, out, loneSurrogates);
  return out;
}

void WriteJsonRecord(const TRecord& record, const TRecordWrite& write,
                     std::size_t* loneSurrogates) {
  std::size_t lone = 0;
  std::string buffer;
  TOut to(buffer, &write);
  WriteJson(to, record, lone);
  if (loneSurrogates != nullptr) *loneSurrogates += lone;
}

void AppendCsvRecord(const TRecord& record, std::string& out, std::size_t* loneSurrogates) {
  std::size_t lone = 0;
  TOut to(out, nullptr);
  WriteCsv(to, record, lone);
  if (loneSurrogates != nullptr) *loneSurrogates += lone;
}

std::string FormatCsvRecord(const TRecord& record, std::size_t* loneSurrogates) {
  std::string out;
  AppendCsvRecord(record, out, loneSurrogates);
  return out;
}

void WriteCsvRecord(const TRecord& record, const TRecordWrite& write, std::size_t* loneSurrogates) {
  std::size_t lone = 0;
  std::string buffer;
  TOut to(buffer, &write);
  WriteCsv(to, record, lone);
  if (loneSurrogates != nullptr) *loneSurrogates += lone;
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
