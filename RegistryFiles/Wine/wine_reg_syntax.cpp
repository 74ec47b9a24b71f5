#include "RegistryFiles/Wine/wine_reg_syntax.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Platform/registry_store.h"

namespace platform {
namespace wine {
namespace {

constexpr std::size_t kMaxValueNameLen = 16383;

}  // namespace

// The C locale's classes, as wineserver (which sets no locale) sees bytes.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

namespace {

// Each byte's hex digit value, or -1: hex data is most of a file's bytes.
struct HexDigits {
  signed char value[256];
  constexpr HexDigits() : value() {
    for (int c = 0; c < 256; ++c) {
      value[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                 : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                 : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                        : -1;
    }
  }
};
constexpr HexDigits kHexDigits;

bool IsXDigit(char c) { return kHexDigits.value[static_cast<unsigned char>(c)] >= 0; }

int HexDigit(char c) { return kHexDigits.value[static_cast<unsigned char>(c)]; }

}  // namespace

const char* SkipSpace(const char* p) {
  while (IsSpace(*p)) ++p;
  return p;
}

// Unescapes up to `endchar` as parse_strW does: C escapes, \x with 1-4 hex
// digits, 1-3 octal digits, any other escaped char taken literally, raw bytes
// as UTF-8 with invalid sequences dropped. Returns the bytes consumed
// including the delimiter, or -1 when the delimiter is missing.
int ParseStr(const char* src, char endchar, U16* out) {
  static const unsigned char kUtf8Mask[4] = {0x7f, 0x1f, 0x0f, 0x07};
  static const unsigned kUtf8MinVal[4] = {0x0, 0x80, 0x800, 0x10000};

  out->clear();
  const char* p = src;
  while (*p && *p != endchar) {
    // A run of plain ASCII goes over as it is.
    const char* run = p;
    while (static_cast<unsigned char>(*p - 1) < 0x7f && *p != endchar && *p != '\\') ++p;
    if (p != run) {
      const std::size_t old = out->size();
      out->resize(old + (p - run));
      std::copy(run, p, out->begin() + old);
      continue;
    }
    if (*p == '\\') {
      ++p;
      if (!*p) break;
      char16_t c = 0;
      switch (*p) {
        case 'a':
          c = '\a';
          break;
        case 'b':
          c = '\b';
          break;
        case 'e':
          c = 0x1b;
          break;
        case 'f':
          c = '\f';
          break;
        case 'n':
          c = '\n';
          break;
        case 'r':
          c = '\r';
          break;
        case 't':
          c = '\t';
          break;
        case 'v':
          c = '\v';
          break;
        case 'x':
          ++p;
          if (!IsXDigit(*p)) {
            out->push_back('x');
            continue;
          }
          for (int n = 0; n < 4 && IsXDigit(*p); ++n) c = c * 16 + HexDigit(*p++);
          out->push_back(c);
          continue;
        default:
          if (*p >= '0' && *p <= '7') {
            for (int n = 0; n < 3 && *p >= '0' && *p <= '7'; ++n) c = c * 8 + (*p++ - '0');
            out->push_back(c);
            continue;
          }
          c = 0xFFFF;  // not an escape: the char is taken as it is
          break;
      }
      if (c != 0xFFFF) {
        out->push_back(c);
        ++p;
        continue;
      }
    }
    unsigned char ch = static_cast<unsigned char>(*p++);
    if (ch < 0x80) {
      out->push_back(ch);
      continue;
    }
    // Continuation bytes; C0, C1 and F5-FF never start a sequence.
    int len = ch >= 0xF5 ? 0 : ch >= 0xF0 ? 3 : ch >= 0xE0 ? 2 : ch >= 0xC2 ? 1 : 0;
    if (len == 0) continue;
    unsigned res = ch & kUtf8Mask[len];
    bool ok = true;
    for (int n = 0; n < len; ++n) {
      unsigned char t = static_cast<unsigned char>(*p) ^ 0x80;
      if (t >= 0x40) {
        ok = false;
        break;
      }
      res = (res << 6) | t;
      ++p;
    }
    if (!ok || res < kUtf8MinVal[len] || res > 0x10FFFF) continue;
    if (res <= 0xFFFF) {
      out->push_back(static_cast<char16_t>(res));
    } else {
      res -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 | (res >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 | (res & 0x3FF)));
    }
  }
  if (!*p) return -1;
  return static_cast<int>(p + 1 - src);
}

namespace {

// Comma- or space-separated hex bytes, kept in `out` unless it is null.
// Returns the bytes consumed or -1.
int ParseHex(const char* buffer, std::string* out) {
  const char* p = buffer;
  while (IsXDigit(*p)) {
    // The usual "xx," goes in one step: two digits are at most 0xff.
    if (IsXDigit(p[1]) && p[2] == ',' && !IsSpace(p[3])) {
      if (out) out->push_back(static_cast<char>(HexDigit(p[0]) * 16 + HexDigit(p[1])));
      p += 3;
      continue;
    }
    // strtoul(p, &end, 16) without its cost: a "0x" before a digit is
    // skipped, and any number over 0xff fails.
    if (p[0] == '0' && (p[1] | 0x20) == 'x' && IsXDigit(p[2])) p += 2;
    unsigned val = 0;
    for (; IsXDigit(*p); ++p) {
      val = val * 16 + HexDigit(*p);
      if (val > 0xff) return -1;
    }
    if (out) out->push_back(static_cast<char>(val));
    p = SkipSpace(p);
    if (*p == ',') ++p;
    p = SkipSpace(p);
  }
  return static_cast<int>(p - buffer);
}

enum class ParseAs { kString, kDword, kBinary };

// Matches the type tag after '='. Returns its length, 0 if unknown.
int GetDataType(const char* buffer, std::uint32_t* type, ParseAs* as) {
  struct Tag {
    const char* tag;
    int len;
    std::uint32_t type;
    ParseAs as;
  };
  static const Tag kTags[] = {
      {"\"", 1, kRegSz, ParseAs::kString},
      {"str:\"", 5, kRegSz, ParseAs::kString},
      {"str(2):\"", 8, kRegExpandSz, ParseAs::kString},
      {"str(7):\"", 8, kRegMultiSz, ParseAs::kString},
      {"hex:", 4, kRegBinary, ParseAs::kBinary},
      {"dword:", 6, kRegDword, ParseAs::kDword},
  };
  for (const Tag& t : kTags) {
    if (std::strncmp(t.tag, buffer, t.len) == 0) {
      *type = t.type;
      *as = t.as;
      return t.len;
    }
  }
  if (std::strncmp("hex(", buffer, 4) != 0) return 0;
  // strtoul as the loader uses it: spaces, a sign and 0x are all accepted.
  char* end = nullptr;
  *type = static_cast<std::uint32_t>(std::strtoul(buffer + 4, &end, 16));
  *as = ParseAs::kBinary;
  if (std::strncmp(end, "):", 2) != 0) return 0;
  return static_cast<int>(end + 2 - buffer);
}

}  // namespace

// Parses `"name"=` or `@=`. Returns the offset of the data, or 0 when the line
// names no value (the loader then skips it entirely).
std::size_t ParseValueName(const char* buffer, U16* name) {
  std::size_t len;
  if (buffer[0] == '@') {
    name->clear();
    len = 1;
  } else {
    int r = ParseStr(buffer + 1, '"', name);
    if (r < 0) return 0;
    len = static_cast<std::size_t>(r) + 1;
  }
  while (IsSpace(buffer[len])) ++len;
  if (buffer[len] != '=') return 0;
  ++len;
  while (IsSpace(buffer[len])) ++len;
  if (name->size() > kMaxValueNameLen) return 0;
  return len;
}

namespace {

void AppendUtf16(const U16& s, std::string* out) {
  for (char16_t c : s) {
    out->push_back(static_cast<char>(c & 0xFF));
    out->push_back(static_cast<char>(c >> 8));
  }
}

}  // namespace

// Decodes the data after `name=`, reading continuation lines from `more`.
// A value whose data does not parse still exists, as REG_NONE with no data.
RawValue DecodeData(const char* buffer, LineReader* more) {
  RawValue v;
  ParseAs as;
  int res = GetDataType(buffer, &v.type, &as);
  if (!res) return {};
  buffer += res;
  switch (as) {
    case ParseAs::kString: {
      U16 s;
      if (ParseStr(buffer, '"', &s) < 0) return {};
      s.push_back(0);
      AppendUtf16(s, &v.data);
      break;
    }
    case ParseAs::kDword: {
      auto dw = static_cast<std::uint32_t>(std::strtoul(buffer, nullptr, 16));
      for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<char>(dw >> (8 * i)));
      break;
    }
    case ParseAs::kBinary: {
      std::string next;
      const char* p = buffer;
      for (;;) {
        int r = ParseHex(p, &v.data);
        if (r < 0) return {};
        p = SkipSpace(p + r);
        if (!*p) break;
        // Whatever follows the backslash is ignored.
        if (*p != '\\' || !more->Next(&next)) return {};
        p = SkipSpace(next.c_str());
      }
      break;
    }
  }
  return v;
}

bool LineReader::NextSpan(std::size_t* start, std::size_t* stop) {
  if (pos_ >= end_) return false;
  start_ = *start = pos_;
  const void* nl = std::memchr(text_ + pos_, '\n', end_ - pos_);
  *stop = nl ? static_cast<const char*>(nl) - text_ : end_;
  pos_ = nl ? *stop + 1 : end_;
  return true;
}

void LineReader::Text(std::size_t start, std::size_t stop, std::string* line) const {
  std::size_t cut = stop;
  if (stop < end_ && cut > start && text_[cut - 1] == '\r') --cut;
  if (const void* nul = std::memchr(text_ + start, '\0', cut - start))
    cut = static_cast<const char*>(nul) - text_;
  line->assign(text_ + start, cut - start);
}

bool LineReader::Next(std::string* line) {
  std::size_t start, stop;
  if (!NextSpan(&start, &stop)) return false;
  Text(start, stop, line);
  return true;
}

void SkipContinuations(const char* p, LineReader* reader) {
  U16 name;
  std::size_t off = ParseValueName(p, &name);
  std::uint32_t type;
  ParseAs as;
  const int tag = off ? GetDataType(p + off, &type, &as) : 0;
  if (!tag || as != ParseAs::kBinary) return;
  // DecodeData's walk over hex data, keeping nothing.
  std::string next;
  p += off + tag;
  for (;;) {
    int r = ParseHex(p, nullptr);
    if (r < 0) return;
    p = SkipSpace(p + r);
    if (*p != '\\' || !reader->Next(&next)) return;
    p = SkipSpace(next.c_str());
  }
}

bool MayContinue(const char* p, std::size_t n) {
  if (n < 3 || !std::memchr(p, '\\', n)) return false;
  // "hex" by its rarest letter: memmem's set-up costs more than these lines.
  for (const char* x = p + 2; (x = static_cast<const char*>(std::memchr(x, 'x', p + n - x))); ++x) {
    if (x[-2] == 'h' && x[-1] == 'e') return true;
  }
  return false;
}

std::size_t SkipQuietLines(const char* text, std::size_t pos, std::size_t end) {
  std::size_t next = end;
  for (std::size_t from = pos; from < end;) {
    const void* hit = std::memchr(text + from, '[', end - from);
    if (!hit) break;
    const std::size_t at = static_cast<const char*>(hit) - text;
    std::size_t line = at;
    while (line > pos && text[line - 1] != '\n' && IsSpace(text[line - 1])) --line;
    if (line == pos || text[line - 1] == '\n') {
      next = line;
      break;
    }
    from = at + 1;
  }
  // Bytes, not lines, are checked: what could matter sends it the slow way.
  const char* p = text + pos;
  const std::size_t n = next - pos;
  if (MayContinue(p, n)) return pos;
  for (const char* h = p; (h = static_cast<const char*>(std::memchr(h, '#', p + n - h))); ++h) {
    if (h + 1 < p + n && (h[1] == 'l' || h[1] == 'a')) return pos;
  }
  return next;
}

std::size_t NextHeaderLine(const char* text, std::size_t pos, std::size_t end) {
  for (std::size_t from = pos; from < end;) {
    const void* hit = std::memchr(text + from, '[', end - from);
    if (!hit) return end;
    const std::size_t at = static_cast<const char*>(hit) - text;
    std::size_t line = at;
    while (line > pos && text[line - 1] != '\n' && IsSpace(text[line - 1])) --line;
    if (line == pos) return pos;
    if (text[line - 1] != '\n') {
      from = at + 1;
      continue;
    }
    const void* nl = memrchr(text + pos, '\n', line - 1 - pos);
    const std::size_t prev = nl ? static_cast<const char*>(nl) - text + 1 : pos;
    return std::memchr(text + prev, '\\', line - 1 - prev) ? pos : line;
  }
  return end;
}

}  // namespace wine
}  // namespace platform
