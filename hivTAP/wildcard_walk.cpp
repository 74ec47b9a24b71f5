#include "hivTAP/wildcard_walk.h"

#include <algorithm>
#include <vector>

#include "MyRegistry/registry.h"
#include "hivTAP/wildcard_match.h"

namespace {

class TPatternWalk {
 public:
  TPatternWalk(std::uint32_t root, std::vector<std::string> segments, std::size_t firstShown,
               std::size_t cap, const TMatchSink& sink)
      : root_(root),
        segments_(std::move(segments)),
        firstShown_(firstShown),
        cap_(cap),
        sink_(sink) {}

  void WalkKey(std::size_t level, const std::string& keyPath, const std::string& shown) {
    if (stopped_) return;
    const std::string& segment = segments_[level];
    if (level + 1 == segments_.size()) {
      WalkValues(keyPath, shown);
      return;
    }
    if (!HasWildcard(segment)) {
      // Named literally, so a link is followed as any key path follows it.
      WalkKey(level + 1, Join(keyPath, segment), Show(level, shown, segment, false));
      return;
    }
    std::vector<std::string> names;
    {
      TRegistry registry;
      if (!Open(registry, keyPath) || !registry.GetKeyNames(names)) return;
      names.erase(std::remove_if(names.begin(), names.end(),
                                 [&](const std::string& name) {
                                   // A link that a wildcard matches is not
                                   // entered: links cannot make the walk loop.
                                   return !MatchesPattern(segment, name) ||
                                          registry.IsLinkKey(name);
                                 }),
                  names.end());
    }
    std::sort(names.begin(), names.end(), NameLess);
    for (const std::string& name : names) {
      WalkKey(level + 1, Join(keyPath, name), Show(level, shown, name, false));
      if (stopped_) return;
    }
  }

  std::size_t count() const { return count_; }
  bool stopped() const { return stopped_; }

 private:
  void WalkValues(const std::string& keyPath, const std::string& shown) {
    const std::string& pattern = segments_.back();
    const std::size_t level = segments_.size() - 1;
    std::vector<std::string> names;
    {
      TRegistry registry;
      if (!Open(registry, keyPath)) return;
      if (!HasWildcard(pattern)) {
        if (registry.HasValue(pattern)) names.push_back(pattern);
      } else if (registry.GetValueNames(names)) {
        names.erase(
            std::remove_if(names.begin(), names.end(),
                           [&](const std::string& name) { return !MatchesPattern(pattern, name); }),
            names.end());
      }
    }
    std::sort(names.begin(), names.end(), NameLess);
    for (const std::string& name : names) {
      if (count_ == cap_) {
        stopped_ = true;
        return;
      }
      ++count_;
      sink_(keyPath, name, Show(level, shown, name, true));
    }
  }

  bool Open(TRegistry& registry, const std::string& keyPath) const {
    registry.SelectRoot(RootKeyHandleOf(root_));
    // Read access to the 64-bit view, as ReadValueAsText reads.
    registry.SetAccessMask(kKeyRead | kKeyWow64_64Key);
    return registry.EnterKey(keyPath, false);
  }

  static std::string Join(const std::string& path, const std::string& name) {
    return path.empty() ? name : path + "\\" + name;
  }

  std::string Show(std::size_t level, const std::string& shown, const std::string& name,
                   bool isValue) const {
    if (level < firstShown_) return shown;
    return shown + ShownName(name, isValue) + (isValue ? "" : "\\");
  }

  std::uint32_t root_;
  std::vector<std::string> segments_;
  std::size_t firstShown_;
  std::size_t cap_;
  const TMatchSink& sink_;
  std::size_t count_ = 0;
  bool stopped_ = false;
};

}  // namespace

std::size_t WalkPattern(std::uint32_t root, const std::string& subKeyPath,
                        const std::string& valuePattern, std::size_t cap, const TMatchSink& sink,
                        bool* complete) {
  *complete = true;
  // Runs of backslashes separate names, as the stores' path walks take them.
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start < subKeyPath.size()) {
    std::size_t end = subKeyPath.find('\\', start);
    if (end == std::string::npos) end = subKeyPath.size();
    if (end > start) segments.push_back(subKeyPath.substr(start, end - start));
    start = end + 1;
  }
  if (segments.size() > kMaxPatternDepth) return 0;
  segments.push_back(valuePattern);
  std::size_t firstShown = 0;
  while (firstShown + 1 < segments.size() && !HasWildcard(segments[firstShown])) ++firstShown;
  TPatternWalk walk(root, std::move(segments), firstShown, cap, sink);
  walk.WalkKey(0, std::string(), std::string());
  *complete = !walk.stopped();
  return walk.count();
}

std::string ShownName(const std::string& name, bool isValue) {
  if (isValue && name.empty()) return "@";
  if (isValue && name == "@") return "%40";
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (char c : name) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20 || c == '%' || c == '\\' || c == '=') {
      text += '%';
      text += kDigits[b >> 4];
      text += kDigits[b & 0x0F];
    } else {
      text += c;
    }
  }
  return text;
}
