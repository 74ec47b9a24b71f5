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

std::size_t NextCharPos(const std::string& text, std::size_t pos) {
  if (pos >= text.size()) return text.size();
  const char* start = text.c_str();
  const char* next = CharNextA(start + pos);
  const std::size_t result = static_cast<std::size_t>(next - start);
  return result > pos ? result : pos + 1;
}

}  // namespace platform
