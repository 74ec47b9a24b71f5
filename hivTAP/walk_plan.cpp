#include "hivTAP/walk_plan.h"

#include "Platform/codepage.h"
#include "hivTAP/key_line.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Widens a run of ANSI bytes into the pattern: runs are widened whole, so
// that a double-byte character of the ANSI code page stays one.
void AppendRun(std::string& run, TNamePattern& pattern) {
  for (const char16_t u : platform::AnsiToWide(run)) pattern.Units += u;
  run.clear();
}

bool EndsWithBackslash(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
  return end > 0 && text[end - 1] == '\\';
}

std::vector<std::string> SplitNames(const std::string& path) {
  // Runs of backslashes separate names, as the registry's path walks take them.
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

}  // namespace

TNamePattern ParseSegment(const std::string& text, bool patterns) {
  TNamePattern pattern;
  pattern.Text = text;
  if (!patterns) {
    std::string run = text;
    AppendRun(run, pattern);
    return pattern;
  }
  std::string run;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    int high = 0, low = 0;
    if (c == '%' && i + 2 < text.size() && (high = HexDigit(text[i + 1])) >= 0 &&
        (low = HexDigit(text[i + 2])) >= 0) {
      run += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (c == '*' || c == '?') {
      AppendRun(run, pattern);
      pattern.Units += c == '*' ? TNamePattern::kAnyRun : TNamePattern::kAnyOne;
      pattern.HasWildcard = true;
    } else {
      run += c;
    }
  }
  AppendRun(run, pattern);
  return pattern;
}

bool PlanKeyLine(const std::string& keySpec, bool patterns, TWalkPlan& plan) {
  plan = TWalkPlan();
  std::string subKeyPath;
  std::string valueName;
  if (!SplitKeySpec(keySpec, plan.Root, subKeyPath, valueName)) return false;
  plan.RootName = RootShortName(plan.Root);
  std::vector<std::string> names = SplitNames(subKeyPath);
  plan.ListsKeys = patterns && EndsWithBackslash(keySpec);
  if (plan.ListsKeys) names.push_back(valueName);
  for (const std::string& name : names) {
    TNamePattern segment = ParseSegment(name, patterns);
    segment.AnyDepth = patterns && name == "**";
    plan.Keys.push_back(std::move(segment));
  }
  if (!plan.ListsKeys) {
    // `@` is the default value, and `%40` a value named `@`.
    plan.Value =
        patterns && valueName == "@" ? ParseSegment("", true) : ParseSegment(valueName, patterns);
    plan.Value.Text = valueName;
  }
  const std::size_t shown = plan.ListsKeys ? plan.Keys.size() - 1 : plan.Keys.size();
  plan.FirstShown = shown;
  for (std::size_t i = 0; i < plan.Keys.size(); ++i) {
    if (plan.Keys[i].HasWildcard || plan.Keys[i].AnyDepth) {
      plan.FirstShown = i;
      break;
    }
  }
  plan.HasWildcard = plan.FirstShown < shown || plan.Value.HasWildcard;
  return true;
}
