#include <windows.h>

#include "Platform/codepage.h"

namespace platform {

std::string AnsiToConsole(const std::string& text) {
  std::string copy = text;
  if (!copy.empty()) CharToOemBuffA(copy.c_str(), &copy[0], static_cast<DWORD>(copy.size()));
  return copy;
}

std::string ConsoleToAnsi(const std::string& text) {
  std::string copy = text;
  if (!copy.empty()) OemToCharBuffA(copy.c_str(), &copy[0], static_cast<DWORD>(copy.size()));
  return copy;
}

std::string UpperAnsi(const std::string& text) {
  std::string copy = text;
  if (!copy.empty()) CharUpperBuffA(&copy[0], static_cast<DWORD>(copy.size()));
  return copy;
}

std::string FileTextToAnsi(const std::string& text) { return text; }

std::string Utf8TextToAnsi(const std::string& text) {
  if (text.empty()) return text;
  std::u16string wide(text.size(), u'\0');
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                          reinterpret_cast<wchar_t*>(&wide[0]), static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return WideToAnsi(wide);
}

std::u16string AnsiToWide(const std::string& text) {
  if (text.empty()) return std::u16string();
  std::u16string wide(text.size(), u'\0');
  const int n =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                          reinterpret_cast<wchar_t*>(&wide[0]), static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return wide;
}

std::string WideToAnsi(const std::u16string& text) {
  if (text.empty()) return std::string();
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int units = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, units, &out[0], n, nullptr, nullptr);
  return out;
}

std::size_t NextCharPos(const std::string& text, std::size_t pos) {
  if (pos >= text.size()) return text.size();
  const char* start = text.c_str();
  const char* next = CharNextA(start + pos);
  const std::size_t result = static_cast<std::size_t>(next - start);
  return result > pos ? result : pos + 1;
}

}  // namespace platform
