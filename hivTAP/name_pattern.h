// Name patterns of /W: `*` stands for any run of characters within one
// name, `?` for one character. Names are the registry's stored UTF-16 names,
// compared as Windows compares them: upper-cased unit by unit.
#pragma once

#include <string>

// One segment of a /W key line. Units are UTF-16 units; a wildcard is a
// value past Unicode's range, so that an escaped `*` stays a letter.
struct TNamePattern {
  static constexpr char32_t kAnyRun = 0x110000;  // `*`
  static constexpr char32_t kAnyOne = 0x110001;  // `?`
  std::u32string Units;
  bool HasWildcard = false;
  // The segment `**`: zero or more key levels.
  bool AnyDepth = false;
  // The segment as the line spells it, for the line a missing match writes.
  std::string Text;
};

// A literal name as a pattern that matches only itself.
TNamePattern LiteralPattern(const std::u16string& name);
// The name a pattern without wildcards stands for.
std::u16string LiteralName(const TNamePattern& pattern);
bool MatchesPattern(const TNamePattern& pattern, const std::u16string& name);
// The unit Windows compares for `c`.
char16_t UpcaseUnit(char16_t c);
// Windows' order of names: by upper-cased units, then by units, so that
// names that compare equal still come in one order.
bool NameLess(const std::u16string& a, const std::u16string& b);
