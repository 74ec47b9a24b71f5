// /W patterns: the matcher against a plain table of every pattern and name
// prefix, the order of names, the printed names' escapes read back, and the
// walk (`*`, `**`, key listings) over an in-memory registry. Input: pattern,
// NUL, name, both in the ANSI code page as a key line holds them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/codepage.h"
#include "fuzz/support/fuzz_support.h"
#include "hivTAP/name_pattern.h"
#include "hivTAP/walk_plan.h"
#include "hivTAP/wildcard_walk.h"
#include "tests/memory_store.h"

namespace {

constexpr std::size_t kMaxText = 512;

// Whether `pattern` matches `name`, by the table of which prefixes match.
bool TableMatches(const std::u32string& pattern, const std::u16string& name) {
  const std::size_t n = name.size();
  std::vector<char> row(n + 1, 0), next(n + 1, 0);
  row[0] = 1;
  for (const char32_t p : pattern) {
    next.assign(n + 1, 0);
    for (std::size_t j = 0; j <= n; ++j) {
      if (p == TNamePattern::kAnyRun) {
        next[j] = row[j] || (j > 0 && next[j - 1]);
      } else if (j > 0 && row[j - 1]) {
        next[j] = p == TNamePattern::kAnyOne ||
                  (p < 0x10000 && UpcaseUnit(static_cast<char16_t>(p)) == UpcaseUnit(name[j - 1]));
      }
    }
    row.swap(next);
  }
  return row[n] != 0;
}

void Seed() {
  MemoryStore& store = InstallMemoryStore();
  const std::string base = MemoryRootPath(0x80000001) + "\\Software\\Fuzz";
  for (const char* key : {"a", "A\xE9", "ab*", "b?c", "\xC9t\xE9", "x\\y", "x\\z\\w", "%41"}) {
    for (const char* value : {"", "v", "V2", "*", "a=b", "%", "\xE9", "@", "?"}) {
      store.Set(base + "\\" + key, value, 1, std::string("t\0", 2));
    }
  }
  store.AddLink(base + "\\link", base);
}

// Checks what one key line's walk gives: matches in order, each once, never
// through a link, within the cap.
class TCheckingSink : public TWalkSink {
 public:
  explicit TCheckingSink(const TWalkPlan& plan) : plan_(plan) {}
  void Value(const TWalkKey& key, const TFoundValue& value, const std::string&) override {
    FUZZ_CHECK(!plan_.ListsKeys, "a listing gives keys only");
    FUZZ_CHECK(MatchesPattern(plan_.Value, value.Name), "each value matches");
    Follows(key.Path() + u'\\' + value.Name);
  }
  void Key(const TWalkKey& key, const std::string& shown) override {
    FUZZ_CHECK(plan_.ListsKeys, "a value walk lists no keys");
    FUZZ_CHECK(!shown.empty() && shown.back() == '\\', "a listed key ends with a backslash");
    Follows(key.Path());
  }
  void Recovered(const TRecoveredRecord&, const std::string&) override {
    FUZZ_CHECK(false, "a live walk recovers nothing");
  }

 private:
  void Follows(const std::u16string& path) {
    FUZZ_CHECK(path.find(u"\\link") == std::u16string::npos || !plan_.HasWildcard,
               "a wildcard enters no link");
    FUZZ_CHECK(last_.empty() || last_ != path, "each match once");
    last_ = path;
  }

  const TWalkPlan& plan_;
  std::u16string last_;
};

void Walk(const std::string& line) {
  TWalkPlan plan;
  if (!PlanKeyLine(line, true, plan)) return;
  TCheckingSink sink(plan);
  const TWalkResult result = WalkKeyLine(plan, 20, sink);
  FUZZ_CHECK(result.Count <= 20, "the cap holds");
  FUZZ_CHECK(result.Complete || result.Count == 20, "a walk stops only at the cap");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool seeded = (Seed(), true);
  (void)seeded;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\0');
  const std::string pattern = input.substr(0, cut).substr(0, kMaxText);
  const std::string ansiName =
      cut == std::string::npos ? std::string() : input.substr(cut + 1).substr(0, kMaxText);
  const std::u16string name = platform::AnsiToWide(ansiName);
  const TNamePattern parsed = ParseSegment(pattern, true);

  FUZZ_CHECK(MatchesPattern(parsed, name) == TableMatches(parsed.Units, name),
             "the matcher agrees with the table of prefixes");
  FUZZ_CHECK(MatchesPattern(ParseSegment("*", true), name), "a star matches any name");
  FUZZ_CHECK(MatchesPattern(LiteralPattern(name), name), "a literal name matches itself");
  FUZZ_CHECK(!(NameLess(LiteralName(parsed), name) && NameLess(name, LiteralName(parsed))),
             "the order is asymmetric");
  FUZZ_CHECK(!NameLess(name, name), "the order is irreflexive");

  // A printed name, read back under /W, is that name alone.
  const std::string shown = ShownName(name, true);
  FUZZ_CHECK(shown.find_first_of("\\=") == std::string::npos, "no separator in a shown name");
  for (const char c : shown) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20, "no control shown");
  if (platform::WideToAnsi(name) == ansiName) {
    TWalkPlan plan;
    FUZZ_CHECK(PlanKeyLine("HKCU\\x\\" + shown, true, plan), "a printed path is a key line");
    FUZZ_CHECK(!plan.Value.HasWildcard && LiteralName(plan.Value) == name,
               "the printed name reads back as itself");
  }

  // The pattern as a key segment, under `**`, as the value name, and listed.
  if (pattern.find('\\') == std::string::npos) {
    const std::string base = "HKCU\\Software\\Fuzz\\";
    Walk(base + pattern + "\\" + pattern);
    Walk(base + "**\\" + pattern);
    Walk(base + pattern + "\\");
    Walk(base + "**\\" + pattern + "\\");
  }
  return 0;
}
