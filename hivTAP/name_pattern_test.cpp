#include "hivTAP/wildcard_match.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct MatchCase {
  const char* pattern;
  const char* name;
  bool matches;
};

void ExpectMatches(const std::vector<MatchCase>& cases) {
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.name);
    EXPECT_EQ(MatchesPattern(c.pattern, c.name), c.matches);
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

TEST(HasWildcard, StarsAndQuestionMarksOnly) {
  EXPECT_TRUE(HasWildcard("Uninstall\\*\\"));
  EXPECT_TRUE(HasWildcard("a?"));
  EXPECT_FALSE(HasWildcard("Control Panel\\Desktop\\"));
  EXPECT_FALSE(HasWildcard(""));
}

TEST(NameLess, WindowsOrderOfNames) {
  // Each list is in order; sorting any order of it gives it back.
  const std::vector<std::vector<std::string>> lists = {
      {"a", "B", "c"},  {"A", "_"},                  // upper-cased first: 'A' < '_' < 'a'
      {"Z", "{guid}"},  {"F", "\xC9t\xE9", "\x8A"},  // F, Été (U+00C9), Š (U+0160), not by bytes
      {"ab", "abc"},    {"", "a"},
      {"\x9F", "\xFF"},  // Ÿ and ÿ compare equal: by bytes then
  };
  for (const auto& ordered : lists) {
    std::vector<std::string> sorted(ordered.rbegin(), ordered.rend());
    std::sort(sorted.begin(), sorted.end(), NameLess);
    EXPECT_EQ(sorted, ordered);
  }
}

}  // namespace
