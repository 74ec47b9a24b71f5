#include "hivTAP/key_time.h"

const char kNoKeyTime[] = "0000-00-00T00:00:00.0000000Z";

namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::uint64_t kSecondsPerDay = 86400;
// From 0000-03-01 to 1601-01-01 in the proleptic Gregorian calendar: the
// civil date below counts from a March 1st, so that leap days end a year.
constexpr std::uint64_t kDaysMarch0ToFileTimeEpoch = 584694;

char* Digits(char* out, std::uint64_t number, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + number % 10);
    number /= 10;
  }
  return out + width;
}

}  // namespace

std::size_t WriteKeyTime(std::uint64_t fileTime, char* out) {
  const std::uint64_t ticks = fileTime % kTicksPerSecond;
  const std::uint64_t seconds = fileTime / kTicksPerSecond;
  const std::uint64_t secondOfDay = seconds % kSecondsPerDay;
  // Days from 0000-03-01, split into 400-year eras of 146097 days; the
  // leap-year rule within an era (H. Hinnant's civil_from_days).
  const std::uint64_t days = seconds / kSecondsPerDay + kDaysMarch0ToFileTimeEpoch;
  const std::uint64_t era = days / 146097;
  const std::uint64_t dayOfEra = days % 146097;
  const std::uint64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::uint64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const std::uint64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  const std::uint64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  const std::uint64_t year = era * 400 + yearOfEra + (month <= 2 ? 1 : 0);

  char* p = out;
  int yearWidth = 4;
  for (std::uint64_t rest = year / 10000; rest != 0; rest /= 10) ++yearWidth;
  p = Digits(p, year, yearWidth);
  *p++ = '-';
  p = Digits(p, month, 2);
  *p++ = '-';
  p = Digits(p, day, 2);
  *p++ = 'T';
  p = Digits(p, secondOfDay / 3600, 2);
  *p++ = ':';
  p = Digits(p, secondOfDay / 60 % 60, 2);
  *p++ = ':';
  p = Digits(p, secondOfDay % 60, 2);
  *p++ = '.';
  p = Digits(p, ticks, 7);
  *p++ = 'Z';
  return static_cast<std::size_t>(p - out);
}

std::string FormatKeyTime(std::uint64_t fileTime) {
  char text[kKeyTimeMaxSize];
  return std::string(text, WriteKeyTime(fileTime, text));
}
