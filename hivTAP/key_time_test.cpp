#include "hivTAP/key_time.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Times from Python's datetime (to 9999) and GNU date (past it), not from
// this code: the calendar's edges, leap days kept and skipped, the Unix
// epoch, and the ends of the FILETIME range.
TEST(FormatKeyTime, MatchesIndependentCalendars) {
  struct Case {
    std::uint64_t fileTime;
    const char* text;
  } cases[] = {
      {0ULL, "1601-01-01T00:00:00.0000000Z"},
      {315359999999999ULL, "1601-12-31T23:59:59.9999999Z"},
      {997488000000001ULL, "1604-02-29T12:00:00.0000001Z"},
      {997920000000000ULL, "1604-03-01T00:00:00.0000000Z"},
      {31292351999999999ULL, "1700-02-28T23:59:59.9999999Z"},
      {31292352000000000ULL, "1700-03-01T00:00:00.0000000Z"},
      {116444736000000000ULL, "1970-01-01T00:00:00.0000000Z"},
      {125962560000000000ULL, "2000-02-29T00:00:00.0000000Z"},
      {129780136261234567ULL, "2012-04-04T11:47:06.1234567Z"},
      {131277023999999999ULL, "2016-12-31T23:59:59.9999999Z"},
      {157519589505000000ULL, "2100-02-28T08:09:10.5000000Z"},
      {157520160000000000ULL, "2100-03-01T00:00:00.0000000Z"},
      {252191196000000007ULL, "2400-02-29T23:00:00.0000007Z"},
      {2650467743999999999ULL, "9999-12-31T23:59:59.9999999Z"},
      {2650467744000000000ULL, "10000-01-01T00:00:00.0000000Z"},
      // The last time FileTimeToSystemTime takes.
      {9223372036854775807ULL, "30828-09-14T02:48:05.4775807Z"},
      {18446744073709551615ULL, "60056-05-28T05:36:10.9551615Z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileTime);
    EXPECT_EQ(FormatKeyTime(c.fileTime), c.text);
    EXPECT_LE(std::strlen(c.text), kKeyTimeMaxSize);
  }
}

// Each second of a year, and each 100 ns step, moves the text forward: a
// timeline sorts as text.
TEST(FormatKeyTime, SortsAsTextAndNoKeyTimeFirst) {
  const std::uint64_t start = 129780136261234567ULL;  // 2012
  std::string previous = kNoKeyTime;
  EXPECT_EQ(previous.size(), FormatKeyTime(0).size());
  EXPECT_LT(previous, FormatKeyTime(0));
  for (std::uint64_t t = start; t < start + 366ULL * 86400 * 10000000; t += 7777777777ULL) {
    const std::string text = FormatKeyTime(t);
    ASSERT_LT(previous, text);
    ASSERT_LT(text, FormatKeyTime(t + 1));
    previous = text;
  }
}

}  // namespace
