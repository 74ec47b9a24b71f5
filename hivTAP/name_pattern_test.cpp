#include "hivTAP/name_pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Platform/codepage.h"
#include "hivTAP/walk_plan.h"

namespace {

struct MatchCase {
  const char* pattern;
  const char* name;
  bool matches;
};

// Patterns and names as a key line spells them, in the ANSI code page.
void ExpectMatches(const std::vector<MatchCase>& cases) {
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.name);
    EXPECT_EQ(MatchesPattern(ParseSegment(c.pattern, true), platform::AnsiToWide(c.name)),
              c.matches);
  }
}

TEST(MatchesPattern, LetterCaseAsWindowsComparesNames) {
  ExpectMatches({
      {"displayname", "DisplayName", true},
      {"\xE9t\xE9", "\xC9T\xC9", true},  // été, ÉTÉ
      {"\x9A", "\x8A", true},            // š, Š
      {"\x9C\x9E", "\x8C\x8E", true},    // œž, ŒŽ
      {"\xFF", "\x9F", true},            // ÿ, Ÿ
      {"\xE0*", "\xC0LPHA", true},       // à*, ÀLPHA
      {"E", "\xC9", false},              // no accent is dropped
      {"\xF7", "\xD7", false},           // ÷ and × are no letters
      {"\xDF", "SS", false},             // ß has no capital of one letter
      {"\xB5", "\xCC", false},           // µ is no Ì
      {"?", "\xE9", true},
  });
}

TEST(MatchesPattern, StarAtStartMiddleAndEnd) {
  ExpectMatches({
      {"*", "", true},
      {"*", "anything", true},
      {"*Name", "DisplayName", true},
      {"*Name", "DisplayNames", false},
      {"Dis*Name", "DisplayName", true},
      {"Dis*Name", "DisName", true},
      {"Display*", "DisplayName", true},
      {"Display*", "Displa", false},
      {"ControlSet*", "ControlSet001", true},
      {"ControlSet*", "CurrentControlSet", false},
      {"a*ab", "aaab", true},  // the star must give back what it took
      {"*a*b*", "xaybz", true},
      {"*a*b", "xaybz", false},
      {"**", "x", true},
      {"?*", "", false},
      {"*?", "x", true},
      {"??", "x", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
  });
}

TEST(MatchesPattern, NamesThatHoldStarsAndQuestionMarks) {
  ExpectMatches({
      {"*", "*", true},
      {"?", "?", true},
      {"a?c", "a*c", true},
      {"a?c", "a?c", true},
      {"a*", "a?", true},
      {"x*y", "x**y", true},
      {"\\*", "\\x", true},  // a backslash is no escape
      {"a\\?", "a?", false},
  });
}

TEST(ParseSegment, EscapesStandForBytesAndNeverForWildcards) {
  const struct {
    const char* text;
    std::u32string units;
    bool wild;
  } cases[] = {
      {"a%2Ab", U"a*b", false},  // an escaped star is a letter
      {"%25", U"%", false},
      {"%5c%3D", U"\\=", false},  // either case of hex digit
      {"%4", U"%4", false},       // no escape without two digits
      {"%zz", U"%zz", false},
      {"%E9t%C9", U"\u00E9t\u00C9", false},  // bytes of the ANSI code page
      {"%81", U"\u0081", false},
      {"a*", {U'a', TNamePattern::kAnyRun}, true},
      {"?%3F", {TNamePattern::kAnyOne, U'?'}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const TNamePattern pattern = ParseSegment(c.text, true);
    EXPECT_EQ(pattern.Units, c.units);
    EXPECT_EQ(pattern.HasWildcard, c.wild);
  }
  // Without /W a segment is what it spells.
  EXPECT_EQ(ParseSegment("a%2A*", false).Units, U"a%2A*");
  EXPECT_FALSE(ParseSegment("a%2A*", false).HasWildcard);
}

TEST(MatchesPattern, StoredNamesOutsideTheAnsiCodePage) {
  const struct {
    const char* pattern;
    std::u16string name;
    bool matches;
  } cases[] = {
      {"i", u"\u0131", false},  // dotless i is another name
      {"?", u"\u0131", true},
      {"?mega", u"\u03A9mega", true},
      {"?", u"\U0001F600", true},  // a surrogate pair is one character
      {"??", u"\U0001F600", false},
      {"*x", u"\U0001F600x", true},
      {"\xE9*", u"\u00C9diteur", true},
      {"*", std::u16string(1, char16_t{0xD800}), true},  // a lone surrogate is still a name
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(MatchesPattern(ParseSegment(c.pattern, true), c.name), c.matches);
  }
  EXPECT_EQ(UpcaseUnit(u'\u03C9'), u'\u03A9');  // omega
  EXPECT_EQ(UpcaseUnit(u'\u01C6'), u'\u01C4');  // dz caron
}

TEST(NameLess, WindowsOrderOfNames) {
  // Each list is in order; sorting any order of it gives it back.
  const std::vector<std::vector<std::string>> ansiLists = {
      {"a", "B", "c"},  {"A", "_"},                  // upper-cased first: 'A' < '_' < 'a'
      {"Z", "{guid}"},  {"F", "\xC9t\xE9", "\x8A"},  // F, Été (U+00C9), Š (U+0160), not by bytes
      {"ab", "abc"},    {"", "a"},
      {"\xFF", "\x9F"},  // ÿ and Ÿ compare equal: by units then
  };
  std::vector<std::vector<std::u16string>> lists;
  for (const auto& list : ansiLists) {
    lists.emplace_back();
    for (const std::string& name : list) lists.back().push_back(platform::AnsiToWide(name));
  }
  // Upper-cased units, not code points: a pair sorts by its high surrogate.
  lists.push_back({u"\u00C9", u"\u0131", u"\u4E2D", u"\U0001F600", u"\uFF21"});
  for (const auto& ordered : lists) {
    std::vector<std::u16string> sorted(ordered.rbegin(), ordered.rend());
    std::sort(sorted.begin(), sorted.end(), NameLess);
    EXPECT_EQ(sorted, ordered);
  }
}

}  // namespace
