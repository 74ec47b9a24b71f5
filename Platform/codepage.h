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
// A list file's text in the ANSI code page: on Windows as it stands; on
// POSIX decoded as UTF-8, as arguments are, bytes that are not UTF-8 being
// taken as Windows-1252.
std::string FileTextToAnsi(const std::string& text);
// UTF-8 text, from a file that begins with a UTF-8 byte order mark, in the
// ANSI code page.
std::string Utf8TextToAnsi(const std::string& text);
// ANSI text as UTF-16, as MultiByteToWideChar(CP_ACP) widens it.
std::u16string AnsiToWide(const std::string& text);
// UTF-16 text in the ANSI code page, as WideCharToMultiByte(CP_ACP) gives it.
std::string WideToAnsi(const std::u16string& text);
// CharNextA: the position of the character after the one at `pos`, keeping
// a double-byte character whole. Never passes the end of the text.
std::size_t NextCharPos(const std::string& text, std::size_t pos);

}  // namespace platform
