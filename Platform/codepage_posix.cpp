// Without Windows' OEM code page, the console's charset is the terminal's.
#include "Platform/codepage.h"

#include "Platform/charset_posix.h"

namespace platform {

// A multi-string's CR LF inside a result line ends its lines as the
// terminal's other lines end.
std::string AnsiToConsole(const std::string& text) {
  std::string lf;
  lf.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') lf += text[i];
  }
  return AnsiToLocale(lf);
}

std::string ConsoleToAnsi(const std::string& text) { return LocaleToAnsi(text); }

std::string FileTextToAnsi(const std::string& text) {
  // Most list lines are ASCII, which both charsets spell alike.
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return Utf8ToAnsi(text);
  }
  return text;
}

// As Windows reads a UTF-8-marked list: MultiByteToWideChar(CP_UTF8), then
// WideCharToMultiByte(CP_ACP), so that a byte that is no UTF-8 becomes '?'.
std::string Utf8TextToAnsi(const std::string& text) {
  const U16 wide = Utf8ToUtf16Replacing(text);
  return NarrowToAnsi(wide.data(), wide.size());
}

std::u16string AnsiToWide(const std::string& text) { return WidenAnsi(text); }

std::string WideToAnsi(const std::u16string& text) {
  return NarrowToAnsi(text.data(), text.size());
}

std::string UpperAnsi(const std::string& text) {
  std::string copy = text;
  for (char& c : copy) {
    const unsigned char b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) {
      c = static_cast<char>(b - 0x20);
    } else if (b == 0x9A || b == 0x9C || b == 0x9E) {  // š œ ž
      c = static_cast<char>(b - 0x10);
    } else if (b == 0xFF) {  // ÿ
      c = static_cast<char>(0x9F);
    }
  }
  return copy;
}

// Windows-1252 has no double-byte characters.
std::size_t NextCharPos(const std::string& text, std::size_t pos) {
  return pos < text.size() ? pos + 1 : text.size();
}

}  // namespace platform
