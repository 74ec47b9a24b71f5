#include "hivTAP/console_text.h"

#include "Platform/codepage.h"

std::string ConvertConsoleText(std::uint8_t direction, const std::string& text) {
  switch (direction) {
    case 0:
      return platform::AnsiToConsole(text);
    case 1:
      return platform::ConsoleToAnsi(text);
    default:
      return text;
  }
}
