// Code-page services: the ANSI code page is the tool's text, the OEM code
// page the console's.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// CharToOemBuffA over the whole text.
std::string AnsiToConsole(const std::string& text);
// OemToCharBuffA over the whole text.
std::string ConsoleToAnsi(const std::string& text);
// CharUpperBuffA: upper-cases by the ANSI code page and the user's locale.
std::string UpperAnsi(const std::string& text);
// CharNextA: the position of the character after the one at `pos`, keeping
// a double-byte character whole. Never passes the end of the text.
std::size_t NextCharPos(const std::string& text, std::size_t pos);

}  // namespace platform
