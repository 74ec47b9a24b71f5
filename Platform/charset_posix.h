// Charset conversion for the POSIX layer: the tool's ANSI text is
// Windows-1252; the terminal, the file names and the arguments are in the
// locale's charset.
#pragma once

#include <iconv.h>

#include <cstddef>
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

// The terminal's charset (LC_CTYPE).
const char* LocaleCharset();
// Windows-1252 to and from the terminal's charset, for the console.
std::string AnsiToLocale(const std::string& text);
std::string LocaleToAnsi(const std::string& text);

using U16 = std::u16string;

// Windows-1252 as UTF-16, byte for byte, as MultiByteToWideChar widens it.
U16 WidenAnsi(const std::string& ansi);
// The same into `out`, whose buffer is reused.
void WidenAnsi(const std::string& ansi, U16* out);
// Stored UTF-16LE data as units; an odd trailing byte is dropped.
U16 UnitsOf(const std::string& bytes);
// UTF-16 to Windows-1252 as Wine's RegQueryValueExA narrows it, best-fit
// characters included; what has no equivalent becomes '?'.
std::string NarrowToAnsi(const char16_t* s, std::size_t n);
// The same for `units` units of stored UTF-16LE bytes, written to `out`.
void NarrowLeToAnsi(const char* bytes, std::size_t units, char* out);
// Names compared as wineserver compares them: each UTF-16 unit lower-cased.
U16 FoldCase(const U16& s);
// The lower-case form of every UTF-16 unit, indexed by the unit.
const char16_t* FoldTable();
// Surrogates are encoded one by one, so that lone ones survive too.
std::string Utf16ToUtf8(const U16& s);
// False for bytes that are not well-formed UTF-8.
bool Utf8ToUtf16(const std::string& in, U16* out);
// As MultiByteToWideChar(CP_UTF8) decodes: each byte that is not part of a
// well-formed character becomes U+FFFD.
U16 Utf8ToUtf16Replacing(const std::string& in);

// File names and arguments: UTF-8 on this side, Windows-1252 in the tool.
// Bytes that are not UTF-8 are taken for Windows-1252 as they stand.
std::string AnsiToUtf8(const std::string& ansi);
std::string Utf8ToAnsi(const std::string& text);

}  // namespace platform
