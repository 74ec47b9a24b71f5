#include "Platform/charset_posix.h"

#include <langinfo.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

namespace platform {
namespace {

#include "Platform/cp1252_table.inc"

constexpr const char kAnsi[] = "CP1252";

bool IsUtf8(const char* charset) {
  return strcasecmp(charset, "UTF-8") == 0 || strcasecmp(charset, "UTF8") == 0;
}

const std::vector<char16_t>& LowerTable() {
  static const std::vector<char16_t> table = [] {
    std::vector<char16_t> t(0x10000);
    for (std::size_t c = 0; c < t.size(); ++c) t[c] = static_cast<char16_t>(c);
    for (std::size_t i = 0; i < std::size(kLowerFrom); ++i) t[kLowerFrom[i]] = kLowerTo[i];
    return t;
  }();
  return table;
}

const std::vector<unsigned char>& NarrowTable() {
  static const std::vector<unsigned char> table = [] {
    std::vector<unsigned char> t(0x10000, '?');
    for (std::size_t i = 0; i < std::size(kNarrowFrom); ++i) t[kNarrowFrom[i]] = kNarrowTo[i];
    return t;
  }();
  return table;
}

}  // namespace

Charset::Charset(const char* to, const char* from)
    : cd_(iconv_open(to, from)), fromUtf8_(IsUtf8(from)) {}

Charset::~Charset() {
  if (IsOpen()) iconv_close(cd_);
}

std::string Charset::Convert(const std::string& text) const {
  if (!IsOpen()) return text;
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  std::string out;
  char chunk[256];
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  for (;;) {
    char* dst = chunk;
    size_t dstLeft = sizeof chunk;
    const size_t r = iconv(cd_, inLeft > 0 ? &in : nullptr, &inLeft, &dst, &dstLeft);
    out.append(chunk, dst - chunk);
    if (r != static_cast<size_t>(-1)) {
      if (inLeft == 0) break;
      continue;
    }
    if (errno == E2BIG) continue;
    // Unconvertible or cut-off input: one '?' for the character.
    out += '?';
    ++in;
    --inLeft;
    if (fromUtf8_) {
      while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
        ++in;
        --inLeft;
      }
    }
    if (inLeft == 0) break;
  }
  return out;
}

const char* LocaleCharset() { return nl_langinfo(CODESET); }

// Where the terminal cannot show a character it gets one '?', as Charset
// writes it and as iconv -t ASCII//TRANSLIT does under LC_ALL=C; bytes that
// Windows-1252 leaves undefined are '?' too, as iconv refuses them.
std::string AnsiToLocale(const std::string& text) {
  const char* charset = LocaleCharset();
  const bool utf8 = IsUtf8(charset);
  if (utf8 || std::strcmp(charset, "ANSI_X3.4-1968") == 0) {
    // Plain ASCII is the same bytes in both.
    std::size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    if (i == text.size()) return text;
  }
  if (utf8) {
    std::string out(text, 0, 0);
    out.reserve(text.size() + text.size() / 2);
    for (unsigned char b : text) {
      const std::uint32_t c = kWiden[b];
      if (b < 0x80) {
        out.push_back(static_cast<char>(b));
      } else if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
        out.push_back('?');
      } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
    return out;
  }
  // One converter, made again only when the locale's charset changes.
  static std::unique_ptr<Charset> converter;
  static std::string converterCharset;
  if (!converter || converterCharset != charset) {
    converter.reset();
    converter = std::make_unique<Charset>(charset, kAnsi);
    converterCharset = charset;
  }
  return converter->Convert(text);
}

std::string LocaleToAnsi(const std::string& text) {
  static const Charset charset(kAnsi, LocaleCharset());
  return charset.Convert(text);
}

const char16_t* FoldTable() { return LowerTable().data(); }

U16 FoldCase(const U16& s) {
  const auto& lower = LowerTable();
  U16 out(s);
  for (auto& c : out) c = lower[c];
  return out;
}

void WidenAnsi(const std::string& ansi, U16* out) {
  out->resize(ansi.size());
  for (std::size_t i = 0; i < ansi.size(); ++i)
    (*out)[i] = kWiden[static_cast<unsigned char>(ansi[i])];
}

U16 WidenAnsi(const std::string& ansi) {
  U16 out;
  out.reserve(ansi.size());
  for (unsigned char c : ansi) out.push_back(kWiden[c]);
  return out;
}

U16 UnitsOf(const std::string& bytes) {
  U16 units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return units;
}

std::string NarrowToAnsi(const char16_t* s, std::size_t n) {
  const auto& narrow = NarrowTable();
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(narrow[s[i]]);
  return out;
}

void NarrowLeToAnsi(const char* bytes, std::size_t units, char* out) {
  const auto& narrow = NarrowTable();
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < units; ++i)
    out[i] = static_cast<char>(narrow[b[2 * i] | b[2 * i + 1] << 8]);
}

std::string Utf16ToUtf8(const U16& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

namespace {

// The length of the well-formed UTF-8 character at `i`, and its code point in
// `*c`; 0 when the bytes there are not one.
std::size_t DecodeUtf8At(const std::string& in, std::size_t i, std::uint32_t* c) {
  const unsigned char b = static_cast<unsigned char>(in[i]);
  const int extra = b < 0x80                ? 0
                    : b >= 0xF0 && b < 0xF5 ? 3
                    : b >= 0xE0 && b < 0xF0 ? 2
                    : b >= 0xC2 && b < 0xE0 ? 1
                                            : -1;
  if (extra < 0 || i + extra >= in.size() + (extra ? 0 : 1)) return 0;
  *c = extra ? b & (0x3F >> extra) : b;
  for (int k = 1; k <= extra; ++k) {
    const unsigned char t = static_cast<unsigned char>(in[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    *c = (*c << 6) | (t & 0x3F);
  }
  if ((extra == 2 && *c < 0x800) || (extra == 3 && (*c < 0x10000 || *c > 0x10FFFF))) return 0;
  return static_cast<std::size_t>(extra) + 1;
}

void AppendCodePoint(std::uint32_t c, U16* out) {
  if (c >= 0x10000) {
    out->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
  } else {
    out->push_back(static_cast<char16_t>(c));
  }
}

}  // namespace

bool Utf8ToUtf16(const std::string& in, U16* out) {
  out->clear();
  std::uint32_t c = 0;
  for (std::size_t i = 0, n = 0; i < in.size(); i += n) {
    if ((n = DecodeUtf8At(in, i, &c)) == 0) return false;
    AppendCodePoint(c, out);
  }
  return true;
}

U16 Utf8ToUtf16Replacing(const std::string& in) {
  U16 out;
  std::uint32_t c = 0;
  for (std::size_t i = 0; i < in.size();) {
    const std::size_t n = DecodeUtf8At(in, i, &c);
    AppendCodePoint(n ? c : 0xFFFD, &out);
    i += n ? n : 1;
  }
  return out;
}

std::string AnsiToUtf8(const std::string& ansi) { return Utf16ToUtf8(WidenAnsi(ansi)); }

std::string Utf8ToAnsi(const std::string& text) {
  U16 wide;
  if (!Utf8ToUtf16(text, &wide)) return text;
  return NarrowToAnsi(wide.data(), wide.size());
}

}  // namespace platform
