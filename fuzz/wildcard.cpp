// /W patterns: the matcher against a plain table of every pattern and name
// prefix, the order of names, the prefix's escapes, and the walk over an
// in-memory registry. Input: pattern, NUL, name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_support.h"
#include "hivTAP/wildcard_match.h"
#include "hivTAP/wildcard_walk.h"
#include "tests/memory_store.h"

namespace {

constexpr std::size_t kMaxText = 512;

// Whether `pattern` matches `name`, by the table of which prefixes match.
bool TableMatches(const std::string& pattern, const std::string& name) {
  const std::size_t n = name.size();
  std::vector<char> row(n + 1, 0), next(n + 1, 0);
  row[0] = 1;
  for (char p : pattern) {
    next.assign(n + 1, 0);
    for (std::size_t j = 0; j <= n; ++j) {
      if (p == '*') {
        next[j] = row[j] || (j > 0 && next[j - 1]);
      } else if (j > 0 && row[j - 1]) {
        next[j] = p == '?' || NameUnit(p) == NameUnit(name[j - 1]);
      }
    }
    row.swap(next);
  }
  return row[n] != 0;
}

std::string Unescape(const std::string& shown) {
  if (shown == "@") return std::string();
  std::string out;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == '%' && i + 2 < shown.size()) {
      out += static_cast<char>(std::stoi(shown.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += shown[i];
    }
  }
  return out;
}

void Seed() {
  MemoryStore& store = InstallMemoryStore();
  const std::string base = MemoryRootPath(0x80000001) + "\\Software\\Fuzz";
  for (const char* key : {"a", "A\xE9", "ab*", "b?c", "\xC9t\xE9", "x\\y", "x\\z\\w"}) {
    for (const char* value : {"", "v", "V2", "*", "a=b", "%", "\xE9"}) {
      store.Set(base + "\\" + key, value, 1, std::string("t\0", 2));
    }
  }
  store.AddLink(base + "\\link", base);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool seeded = (Seed(), true);
  (void)seeded;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\0');
  const std::string pattern = input.substr(0, cut).substr(0, kMaxText);
  const std::string name =
      cut == std::string::npos ? std::string() : input.substr(cut + 1).substr(0, kMaxText);

  FUZZ_CHECK(MatchesPattern(pattern, name) == TableMatches(pattern, name),
             "the matcher agrees with the table of prefixes");
  FUZZ_CHECK(MatchesPattern("*", name), "a star matches any name");
  if (!HasWildcard(name)) FUZZ_CHECK(MatchesPattern(name, name), "a plain name matches itself");
  FUZZ_CHECK(!(NameLess(pattern, name) && NameLess(name, pattern)), "the order is asymmetric");
  FUZZ_CHECK(!NameLess(name, name), "the order is irreflexive");

  const std::string shown = ShownName(name, true);
  FUZZ_CHECK(shown.find_first_of("\\=") == std::string::npos, "no separator in a shown name");
  for (char c : shown) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20, "no control shown");
  FUZZ_CHECK(Unescape(shown) == name, "the shown name gives the name back");

  // The pattern as a key segment and as the value name.
  if (pattern.find('\\') == std::string::npos) {
    std::string lastKey, lastValue;
    bool complete = false;
    const std::size_t count = WalkPattern(
        0x80000001, "Software\\Fuzz\\" + pattern + "\\", pattern, 20,
        [&](const std::string& keyPath, const std::string& valueName, const std::string& path) {
          FUZZ_CHECK(MatchesPattern(pattern, valueName), "each value matches");
          FUZZ_CHECK(keyPath.find("\\link") == std::string::npos || !HasWildcard(pattern),
                     "a wildcard enters no link");
          const std::string key = keyPath.substr(keyPath.rfind('\\') + 1);
          const bool after = lastKey.empty() || NameLess(lastKey, key) ||
                             (!NameLess(key, lastKey) && NameLess(lastValue, valueName));
          FUZZ_CHECK(after, "matches come in order, each once");
          FUZZ_CHECK(!path.empty(), "a match shows its path");
          lastKey = key;
          lastValue = valueName;
        },
        &complete);
    FUZZ_CHECK(count <= 20, "the cap holds");
    FUZZ_CHECK(complete || count == 20, "a walk stops only at the cap");
  }
  return 0;
}
