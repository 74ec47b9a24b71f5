// Name patterns of /W: `*` stands for any run of characters within one
// name, `?` for one character. Names are Windows-1252 text, compared as
// Windows compares names: upper-cased as UTF-16, unit by unit.
#pragma once

#include <cstdint>
#include <string>

bool HasWildcard(const std::string& text);
bool MatchesPattern(const std::string& pattern, const std::string& name);
// The UTF-16 unit Windows compares for the Windows-1252 character `c`.
std::uint16_t NameUnit(char c);
// Windows' order of names: by NameUnit, then by bytes, so that names that
// compare equal still come in one order.
bool NameLess(const std::string& a, const std::string& b);
