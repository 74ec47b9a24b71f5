// Charset conversion for the POSIX layer: the tool's ANSI text is
// Windows-1252; the terminal, the file names and the arguments are in the
// locale's charset.
#pragma once

#include <iconv.h>

#include <string>

namespace platform {

// An owned iconv conversion. Bytes it cannot convert become '?'.
class Charset {
 public:
  Charset(const char* to, const char* from);
  ~Charset();
  Charset(const Charset&) = delete;
  Charset& operator=(const Charset&) = delete;

  bool IsOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  std::string Convert(const std::string& text) const;

 private:
  iconv_t cd_;
  bool fromUtf8_;
};

// The charset of the terminal and of file names (LC_CTYPE).
const char* LocaleCharset();
// Windows-1252 to and from the locale's charset.
std::string AnsiToLocale(const std::string& text);
std::string LocaleToAnsi(const std::string& text);

}  // namespace platform
