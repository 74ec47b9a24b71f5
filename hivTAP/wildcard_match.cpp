#include "hivTAP/wildcard_match.h"

#include <cstddef>

namespace {

// Windows-1252 0x80 to 0x9F as UTF-16, upper-cased; the undefined bytes
// map to the C1 controls of the same value, as MultiByteToWideChar does.
const std::uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0191, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0160, 0x203A, 0x0152, 0x009D, 0x017D, 0x0178,
};

}  // namespace

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

std::uint16_t NameUnit(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  if (b >= 'a' && b <= 'z') return static_cast<std::uint16_t>(b - 0x20);
  if (b >= 0x80 && b <= 0x9F) return kHighControls[b - 0x80];
  if (b == 0xB5) return 0x039C;  // micro sign: Greek capital mu
  if (b == 0xFF) return 0x0178;
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<std::uint16_t>(b - 0x20);
  return b;
}

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  // Greedy with one backtrack point, the last `*`: linear for any pattern
  // short of many stars, and never recursive.
  std::size_t p = 0, n = 0;
  std::size_t star = std::string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || NameUnit(pattern[p]) == NameUnit(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool NameLess(const std::string& a, const std::string& b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint16_t x = NameUnit(a[i]), y = NameUnit(b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}
