#pragma once

#include <cstdint>
#include <string>

// A converted copy of `text`: direction 0 turns ANSI into the console's
// code page, 1 the console's into ANSI; any other direction copies.
std::string ConvertConsoleText(std::uint8_t direction, const std::string& text);
