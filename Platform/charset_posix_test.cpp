#include "Platform/charset_posix.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace platform {
namespace {

// The console text in the terminal's charset: what iconv gives, with '?'
// for what the charset cannot show; under every locale the same bytes as a
// fresh conversion, also after the locale changed.
TEST(CharsetTest, ConsoleTextFollowsTheLocale) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const struct {
    const char* locale;
    std::string in;
    std::string out;
  } cases[] = {
      {"C", "plain ascii\t", "plain ascii\t"},
      {"C", "caf\xe9 \x80\x81.", "caf? ??."},
      {"C.UTF-8", "plain ascii\t", "plain ascii\t"},
      {"C.UTF-8", "caf\xe9 \x80\x81\x9f", "caf\xc3\xa9 \xe2\x82\xac?\xc5\xb8"},
      {"C", "\xe9", "?"},
  };
  for (const auto& c : cases) {
    ASSERT_NE(std::setlocale(LC_CTYPE, c.locale), nullptr) << c.locale;
    EXPECT_EQ(AnsiToLocale(c.in), c.out) << c.locale << " " << c.in;
    // Every byte as iconv converts it.
    EXPECT_EQ(AnsiToLocale(all), Charset(LocaleCharset(), "CP1252").Convert(all)) << c.locale;
  }
  std::setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
}  // namespace platform
