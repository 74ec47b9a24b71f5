#include "Platform/codepage.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// The list file's name is upper-cased with the ANSI code page's letters,
// accented ones included, on both builds alike.
TEST(UpperAnsi, Windows1252Letters) {
  EXPECT_EQ(platform::UpperAnsi("keys.txt"), "KEYS.TXT");
  EXPECT_EQ(platform::UpperAnsi("cl\xE9s \xE0\xE7\xF4\xFE"), "CL\xC9S \xC0\xC7\xD4\xDE");
  EXPECT_EQ(platform::UpperAnsi("\x9A\x9C\x9E\xFF"), "\x8A\x8C\x8E\x9F");
  // Not letters, or without a capital in the code page.
  EXPECT_EQ(platform::UpperAnsi("\xF7\xD7\xDF 1/-"), "\xF7\xD7\xDF 1/-");
}

TEST(NextCharPos, StepsOneByteInWindows1252) {
  const std::string text = "a\xE9z";
  EXPECT_EQ(platform::NextCharPos(text, 0), 1u);
  EXPECT_EQ(platform::NextCharPos(text, 1), 2u);
  EXPECT_EQ(platform::NextCharPos(text, 3), 3u);
}

// A UTF-8-marked list's text, both builds alike: a byte that is no UTF-8
// becomes '?', as MultiByteToWideChar(CP_UTF8) then CP_ACP make it.
TEST(Utf8TextToAnsi, MalformedBytesBecomeQuestionMarks) {
  const std::pair<const char*, const char*> cases[] = {
      {"caf\xC3\xA9", "caf\xE9"},
      {"\xE9t\xE9", "?t?"},
      {"a\xC3", "a?"},           // cut short at the end
      {"\xC3(", "?("},           // no continuation byte
      {"\xC0\xAF", "??"},        // an overlong form is no character
      {"\xE2\x82\xAC", "\x80"},  // the euro sign
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(platform::Utf8TextToAnsi(c.first), c.second);
  }
}

}  // namespace
