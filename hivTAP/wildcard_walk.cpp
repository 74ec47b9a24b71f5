#include "hivTAP/wildcard_walk.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "Platform/codepage.h"

bool TWalkKey::Info(platform::RegKeyInfo& info) const {
  if (!asked_) {
    asked_ = true;
    known_ = key_.Info(info_);
  }
  info = info_;
  return known_;
}

namespace {

class TPlanWalk {
 public:
  TPlanWalk(const TWalkPlan& plan, std::size_t cap, TWalkSink& sink)
      : plan_(plan), cap_(cap), sink_(sink) {
    // Two `**` could reach one key by two routes: each is walked once.
    std::size_t anyDepth = 0;
    for (const TNamePattern& segment : plan.Keys) anyDepth += segment.AnyDepth ? 1 : 0;
    dedupe_ = anyDepth > 1;
  }

  void Walk(std::size_t level, const TRegistryKey& key, std::u16string& path, std::string& shown,
            std::size_t depth, bool matched) {
    if (!result_.Complete || (dedupe_ && !FirstVisit(level, path))) return;
    if (level == plan_.Keys.size()) {
      WalkValues(key, path, shown, matched);
      return;
    }
    const TNamePattern& segment = plan_.Keys[level];
    if (segment.AnyDepth) {
      const bool last = plan_.ListsKeys && level + 1 == plan_.Keys.size();
      // None, then one or more levels: the children stay at this segment.
      if (!last) Walk(level + 1, key, path, shown, depth, true);
      WalkChildren(level, key, path, shown, depth, segment, level);
      return;
    }
    if (!segment.HasWildcard) {
      WalkLiteral(level, key, path, shown, depth, matched);
      return;
    }
    WalkChildren(level, key, path, shown, depth, segment, level + 1);
  }

  const TWalkResult& result() const { return result_; }

 private:
  // Consecutive literal segments open in one call, which follows links.
  void WalkLiteral(std::size_t level, const TRegistryKey& key, std::u16string& path,
                   std::string& shown, std::size_t depth, bool matched) {
    std::size_t end = level;
    std::u16string names;
    const std::size_t pathSize = path.size(), shownSize = shown.size();
    while (end < plan_.Keys.size() && !plan_.Keys[end].HasWildcard && !plan_.Keys[end].AnyDepth) {
      const std::u16string name = LiteralName(plan_.Keys[end]);
      if (!names.empty()) names += u'\\';
      names += name;
      Descend(end, name, path, shown);
      ++end;
    }
    TRegistryKey child;
    if (depth + (end - level) <= kMaxPatternDepth && child.Open(key, names)) {
      if (!plan_.HasWildcard) {
        result_.KeyFound = true;
        child.Info(result_.KeyInfo);
      }
      if (plan_.ListsKeys && end == plan_.Keys.size()) {
        Emit([&] { sink_.Key(TWalkKey(child, path), shown); });
      } else {
        Walk(end, child, path, shown, depth + (end - level), matched);
      }
    }
    path.resize(pathSize);
    shown.resize(shownSize);
  }

  // The subkeys that `segment` matches, in order; each is listed when the
  // segment ends a listing, and walked on at `next`.
  void WalkChildren(std::size_t level, const TRegistryKey& key, std::u16string& path,
                    std::string& shown, std::size_t depth, const TNamePattern& segment,
                    std::size_t next) {
    if (depth >= kMaxPatternDepth) return;
    std::vector<std::u16string> names;
    if (!key.SubKeyNames(names)) return;
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const std::u16string& name) {
                                 return !segment.AnyDepth && !MatchesPattern(segment, name);
                               }),
                names.end());
    std::sort(names.begin(), names.end(), NameLess);
    const bool lists = plan_.ListsKeys && level + 1 == plan_.Keys.size();
    for (const std::u16string& name : names) {
      const std::size_t pathSize = path.size(), shownSize = shown.size();
      Descend(level, name, path, shown);
      // A link that a wildcard matches is not entered: links cannot make
      // the walk loop.
      TRegistryKey child;
      bool isLink = false;
      if (child.OpenChild(key, name, isLink)) {
        if (lists) Emit([&] { sink_.Key(TWalkKey(child, path), shown); });
        if (!lists || segment.AnyDepth) Walk(next, child, path, shown, depth + 1, true);
      }
      path.resize(pathSize);
      shown.resize(shownSize);
      if (!result_.Complete) return;
    }
  }

  void WalkValues(const TRegistryKey& key, const std::u16string& path, const std::string& shown,
                  bool matched) {
    const TWalkKey walkKey(key, path);
    std::vector<std::u16string> names;
    if (!plan_.Value.HasWildcard) {
      names.push_back(LiteralName(plan_.Value));
    } else if (key.ValueNames(names)) {
      names.erase(std::remove_if(names.begin(), names.end(),
                                 [&](const std::u16string& name) {
                                   return !MatchesPattern(plan_.Value, name);
                                 }),
                  names.end());
      std::sort(names.begin(), names.end(), NameLess);
    }
    if (matched && sink_.EntersKeys()) Emit([&] { sink_.Key(walkKey, shown); });
    TFoundValue value;
    for (std::u16string& name : names) {
      // A value gone since it was listed is passed over.
      if (!key.ReadValue(name, value.Type, value.Data)) continue;
      value.Name = std::move(name);
      Emit([&] { sink_.Value(walkKey, value, shown); });
      if (!result_.Complete) return;
    }
  }

  void Descend(std::size_t level, const std::u16string& name, std::u16string& path,
               std::string& shown) const {
    path += u'\\';
    path += name;
    if (level >= plan_.FirstShown) shown += ShownName(name, false) + "\\";
  }

  template <typename Call>
  void Emit(const Call& call) {
    if (result_.Count == cap_) {
      result_.Complete = false;
      return;
    }
    ++result_.Count;
    call();
  }

  bool FirstVisit(std::size_t level, const std::u16string& path) {
    std::u16string id(1, static_cast<char16_t>(level));
    for (const char16_t c : path) id += UpcaseUnit(c);
    return visited_.insert(std::move(id)).second;
  }

  const TWalkPlan& plan_;
  std::size_t cap_;
  TWalkSink& sink_;
  TWalkResult result_;
  bool dedupe_ = false;
  std::set<std::u16string> visited_;
};

// Bytes that widen to a control character or DEL: C0, DEL, and the C1
// controls that the ANSI code page passes through.
bool IsControlByte(unsigned char b) {
  static const std::vector<bool> controls = [] {
    std::vector<bool> table(256);
    for (int i = 0; i < 256; ++i) {
      const std::u16string wide = platform::AnsiToWide(std::string(1, static_cast<char>(i)));
      table[i] = i < 0x20 || i == 0x7F || (wide.size() == 1 && wide[0] >= 0x80 && wide[0] <= 0x9F);
    }
    return table;
  }();
  return controls[b];
}

}  // namespace

TWalkResult WalkKeyLine(const TWalkPlan& plan, std::size_t cap, TWalkSink& sink) {
  TWalkResult result;
  if (plan.Keys.size() > kMaxPatternDepth) return result;
  TRegistryKey root;
  root.SelectRoot(plan.Root);
  std::u16string path = platform::AnsiToWide(plan.RootName);
  std::string shown;
  TPlanWalk walk(plan, cap, sink);
  walk.Walk(0, root, path, shown, 0, false);
  result = walk.result();
  if (!plan.HasWildcard && plan.Keys.empty()) result.KeyFound = root.Info(result.KeyInfo);
  return result;
}

std::string ShownName(const std::u16string& name, bool isValue) {
  if (isValue && name.empty()) return "@";
  if (isValue && name == u"@") return "%40";
  static const char kDigits[] = "0123456789ABCDEF";
  const std::string ansi = platform::WideToAnsi(name);
  // One byte per unit, as Windows-1252 narrows: a `?` that stands for a
  // character the code page lacks stays a wildcard, which reads back to it.
  const bool unitWise = ansi.size() == name.size();
  std::string text;
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    const char c = ansi[i];
    const unsigned char b = static_cast<unsigned char>(c);
    const bool ownQuestionMark = c == '?' && unitWise && name[i] == u'?';
    // A key line's end is trimmed: a value name's last blank is kept so.
    const bool lastBlank = isValue && c == ' ' && i + 1 == ansi.size();
    // A name's own `*` and `?` too: its path read back names it alone.
    if (c == '%' || c == '\\' || c == '=' || c == '*' || ownQuestionMark || lastBlank ||
        IsControlByte(b)) {
      text += '%';
      text += kDigits[b >> 4];
      text += kDigits[b & 0x0F];
    } else {
      text += c;
    }
  }
  return text;
}
