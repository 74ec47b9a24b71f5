#include "Platform/charset_posix.h"

#include <langinfo.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {
constexpr const char kAnsi[] = "CP1252";

bool IsUtf8(const char* charset) {
  return strcasecmp(charset, "UTF-8") == 0 || strcasecmp(charset, "UTF8") == 0;
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

std::string AnsiToLocale(const std::string& text) {
  static const Charset charset(LocaleCharset(), kAnsi);
  return charset.Convert(text);
}

std::string LocaleToAnsi(const std::string& text) {
  static const Charset charset(kAnsi, LocaleCharset());
  return charset.Convert(text);
}

}  // namespace platform
