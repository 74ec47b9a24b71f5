// The characters of the export records, written at a pointer into a buffer
// sized beforehand: UTF-16 units (from names, or from UTF-16LE data bytes)
// as UTF-8, escaped for JSON or with quotes doubled for CSV, and numbers. Only
// for record_format.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace record_chars {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

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

inline TLittleEndian UnitsOf(const std::string& data) {
  return TLittleEndian{reinterpret_cast<const unsigned char*>(data.data())};
}

inline bool IsHigh(std::uint32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
inline bool IsLow(std::uint32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

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

// How JSON writes each ASCII character: 0 as it is, else the letter after
// the backslash ('u': \u00XX).
struct TJsonEscapes {
  char letter[128] = {};
  constexpr TJsonEscapes() {
    for (int c = 0; c < 0x20; ++c) letter[c] = 'u';
    const char kShort[] = "\"\"\\\\\bb\ff\nn\rr\tt";
    for (int i = 0; kShort[i] != 0; i += 2)
      letter[static_cast<unsigned char>(kShort[i])] = kShort[i + 1];
  }
};
inline constexpr TJsonEscapes kJsonEscapes;

inline char* JsonUnitEscape(char* p, std::uint32_t unit) {
  *p++ = '\\';
  *p++ = 'u';
  for (int shift = 12; shift >= 0; shift -= 4) *p++ = kHexDigits[unit >> shift & 0xF];
  return p;
}

inline char* Literal(char* p, const char* text) {
  const std::size_t size = std::strlen(text);
  std::memcpy(p, text, size);
  return p + size;
}

// A string's units [i, end) inside a JSON string (no quotes), at most 6
// bytes a unit; i ends past `end` when a pair straddles it (a pair is looked
// for up to `count`). In a multi-string each NUL ends a string: `","`.
template <bool kMulti, class TUnits>
char* JsonChars(char* p, const TUnits& units, std::size_t& i, std::size_t end, std::size_t count,
                std::size_t& lone) {
  for (; i < end; ++i) {
    const std::uint32_t unit = units[i];
    if (unit < 0x80) {
      const char letter = kJsonEscapes.letter[unit];
      if (letter == 0) {
        *p++ = static_cast<char>(unit);
      } else if (kMulti && unit == 0) {
        p = Literal(p, "\",\"");
      } else if (letter == 'u') {
        p = JsonUnitEscape(p, unit);
      } else {
        *p++ = '\\';
        *p++ = letter;
      }
    } else if (!Utf8(p, units, i, count)) {
      p = JsonUnitEscape(p, unit);
      ++lone;
    }
  }
  return p;
}

// Whether a CSV field of the units must be quoted: a comma, a quote, CR or
// LF, or in a multi-string a NUL, written as LF.
template <bool kMulti, class TUnits>
bool CsvQuoted(const TUnits& units, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t unit = units[i];
    if (unit == ',' || unit == '"' || unit == '\r' || unit == '\n' || (kMulti && unit == 0)) {
      return true;
    }
  }
  return false;
}

// The units [i, end) as CSV field text, quotes doubled, a multi-string's
// NULs as LF: at most 3 bytes a unit. i as JsonChars leaves it.
template <bool kMulti, class TUnits>
char* CsvChars(char* p, const TUnits& units, std::size_t& i, std::size_t end, std::size_t count,
               std::size_t& lone) {
  for (; i < end; ++i) {
    const std::uint32_t unit = units[i];
    if (unit < 0x80) {
      *p++ = kMulti && unit == 0 ? '\n' : static_cast<char>(unit);
      if (unit == '"') *p++ = '"';
    } else if (!Utf8(p, units, i, count)) {
      *p++ = '\xEF';  // U+FFFD
      *p++ = '\xBF';
      *p++ = '\xBD';
      ++lone;
    }
  }
  return p;
}

inline char* Decimal(char* p, std::uint64_t number) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0) *p++ = digits[--count];
  return p;
}

inline char* SignedDecimal(char* p, std::int64_t number) {
  if (number >= 0) return Decimal(p, static_cast<std::uint64_t>(number));
  *p++ = '-';
  // Negated as unsigned: INT64_MIN has no positive twin.
  return Decimal(p, 0 - static_cast<std::uint64_t>(number));
}

// Bytes [from, to) of `data`, two upper-case hexadecimal digits each.
inline char* Hex(char* p, const std::string& data, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    const unsigned char byte = static_cast<unsigned char>(data[i]);
    *p++ = kHexDigits[byte >> 4];
    *p++ = kHexDigits[byte & 0x0F];
  }
  return p;
}

}  // namespace record_chars
