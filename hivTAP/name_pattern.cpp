#include "hivTAP/name_pattern.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

struct TUpcaseRun {
  std::uint16_t First;
  std::uint16_t Last;
  std::uint16_t Step;
  std::int32_t Delta;
};

#include "hivTAP/name_upcase.inc"

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Units of the name that `?` takes at `n`: a surrogate pair is one character.
std::size_t CharLength(const std::u16string& name, std::size_t n) {
  return n + 1 < name.size() && IsHighSurrogate(name[n]) && IsLowSurrogate(name[n + 1]) ? 2 : 1;
}

}  // namespace

char16_t UpcaseUnit(char16_t c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
  const auto* end = std::end(kUpcaseRuns);
  const auto* run =
      std::upper_bound(std::begin(kUpcaseRuns), end, c,
                       [](char16_t unit, const TUpcaseRun& r) { return unit < r.First; });
  if (run == std::begin(kUpcaseRuns)) return c;
  --run;
  if (c > run->Last || (c - run->First) % run->Step != 0) return c;
  return static_cast<char16_t>(c + run->Delta);
}

TNamePattern LiteralPattern(const std::u16string& name) {
  TNamePattern pattern;
  pattern.Units.assign(name.begin(), name.end());
  return pattern;
}

std::u16string LiteralName(const TNamePattern& pattern) {
  std::u16string name;
  name.reserve(pattern.Units.size());
  for (const char32_t u : pattern.Units) name += static_cast<char16_t>(u);
  return name;
}

bool MatchesPattern(const TNamePattern& pattern, const std::u16string& name) {
  // Greedy with one backtrack point, the last `*`: linear for any pattern
  // short of many stars, and never recursive.
  const std::u32string& p = pattern.Units;
  std::size_t i = 0, n = 0;
  std::size_t star = std::u32string::npos, resume = 0;
  while (n < name.size()) {
    if (i < p.size() && p[i] == TNamePattern::kAnyRun) {
      star = i++;
      resume = n;
    } else if (i < p.size() && p[i] == TNamePattern::kAnyOne) {
      ++i;
      n += CharLength(name, n);
    } else if (i < p.size() && p[i] < 0x10000 &&
               UpcaseUnit(static_cast<char16_t>(p[i])) == UpcaseUnit(name[n])) {
      ++i;
      ++n;
    } else if (star != std::u32string::npos) {
      i = star + 1;
      resume += CharLength(name, resume);
      n = resume;
    } else {
      return false;
    }
  }
  while (i < p.size() && p[i] == TNamePattern::kAnyRun) ++i;
  return i == p.size();
}

bool NameLess(const std::u16string& a, const std::u16string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = UpcaseUnit(a[i]), y = UpcaseUnit(b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}
