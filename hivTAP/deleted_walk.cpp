#include "hivTAP/deleted_walk.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "MyRegistry/registry_key.h"
#include "Platform/codepage.h"

namespace {

using platform::RegDeletedKey;
using platform::RegDeletedValue;

bool IsLiteral(const TNamePattern& segment) { return !segment.HasWildcard && !segment.AnyDepth; }

// A key's first `count` names upper-cased, as one id to count subkeys by;
// partial paths start nowhere known, and apart.
std::u16string Folded(const RegDeletedKey& key, std::size_t count) {
  const std::vector<std::u16string>& names = key.path;
  std::u16string id(1, key.partial ? u'?' : u'\\');
  for (std::size_t i = 0; i < count; ++i) {
    for (const char16_t c : names[i]) id += UpcaseUnit(c);
    id += u'\\';
  }
  return id;
}

class TDeletedWalk {
 public:
  TDeletedWalk(const TWalkPlan& plan, std::size_t cap, TWalkResult& result, TWalkSink& sink)
      : plan_(plan), cap_(cap), result_(result), sink_(sink) {}

  void Run() {
    std::size_t literal = 0;
    while (literal < plan_.Keys.size() && IsLiteral(plan_.Keys[literal])) ++literal;
    TRegistryKey root;
    root.SelectRoot(plan_.Root);
    // The deepest key of the literal start that is still there: the rest of
    // a deleted start is matched like the other segments.
    for (std::size_t start = literal + 1; start-- > 0;) {
      TRegistryKey key;
      if (start > 0 && !key.Open(root, LiteralPath(start))) continue;
      std::vector<RegDeletedKey> keys;
      std::vector<RegDeletedValue> orphans;
      if ((start > 0 ? key : root).DeletedRecords(keys, orphans)) Report(start, keys, orphans);
      return;
    }
  }

 private:
  std::u16string LiteralPath(std::size_t count) const {
    std::u16string path;
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) path += u'\\';
      path += LiteralName(plan_.Keys[i]);
    }
    return path;
  }

  void Report(std::size_t start, const std::vector<RegDeletedKey>& keys,
              const std::vector<RegDeletedValue>& orphans) {
    // Where a key whose parent is gone stood is unknown: only `**` can match it.
    bool anyDepth = start < plan_.Keys.size();
    for (std::size_t i = start; i < plan_.Keys.size(); ++i) anyDepth &= plan_.Keys[i].AnyDepth;
    std::u16string base = platform::AnsiToWide(plan_.RootName);
    if (start > 0) base += u'\\' + LiteralPath(start);
    const bool listsOrEnters = plan_.ListsKeys || sink_.EntersKeys();
    std::map<std::u16string, std::uint32_t> subKeys;
    if (listsOrEnters) {
      for (const RegDeletedKey& key : keys) {
        if (!key.path.empty()) ++subKeys[Folded(key, key.path.size() - 1)];
      }
    }
    for (const RegDeletedKey& key : keys) {
      if (key.partial ? !anyDepth : !Matches(start, key.path)) continue;
      TRecoveredRecord record;
      record.Partial = key.partial;
      record.HasTime = true;
      record.LastWrite = key.lastWrite;
      std::string shown = key.partial ? "%!%?\\" : "%!";
      for (std::size_t i = 0; i < key.path.size(); ++i) {
        if (key.partial || start + i >= plan_.FirstShown) {
          shown += ShownName(key.path[i], false) + "\\";
        }
        if (i > 0 || !key.partial) record.Path += u'\\';
        record.Path += key.path[i];
      }
      if (!key.partial) record.Path = base + record.Path;
      if (listsOrEnters) {
        record.IsKey = true;
        const auto it = subKeys.find(Folded(key, key.path.size()));
        record.SubKeys = it == subKeys.end() ? 0 : it->second;
        record.Values = static_cast<std::uint32_t>(key.values.size());
        if (!Emit(record, shown)) return;
        record.IsKey = false;
      }
      if (plan_.ListsKeys) continue;
      for (const RegDeletedValue& value : key.values) {
        if (!EmitValue(record, shown, value)) return;
      }
    }
    if (!anyDepth || plan_.ListsKeys) return;
    TRecoveredRecord orphan;
    orphan.Partial = true;
    for (const RegDeletedValue& value : orphans) {
      if (!EmitValue(orphan, "%!%?\\", value)) return;
    }
  }

  // False once the cap is reached.
  bool EmitValue(TRecoveredRecord& record, const std::string& shown, const RegDeletedValue& value) {
    if (!MatchesPattern(plan_.Value, value.name)) return true;
    record.Value.Name = value.name;
    record.Value.Type = value.type;
    record.Value.Data = value.data;
    record.Reliable = value.reliable;
    return Emit(record, shown + ShownName(value.name, true) + (value.reliable ? "" : "%~"));
  }

  bool Emit(const TRecoveredRecord& record, const std::string& shown) {
    if (result_.Count == cap_) {
      result_.Complete = false;
      return false;
    }
    ++result_.Count;
    sink_.Recovered(record, shown);
    return true;
  }

  // Whether the segments from `start` match `names` whole: `**` any number
  // of them, but at least one where it ends a listing, as the live walk.
  bool Matches(std::size_t start, const std::vector<std::u16string>& names) const {
    const std::size_t count = names.size();
    // next[j]: the segments after the current one match names[j...].
    std::vector<char> next(count + 1, 0), current(count + 1, 0);
    next[count] = 1;
    for (std::size_t i = plan_.Keys.size(); i-- > start;) {
      const TNamePattern& segment = plan_.Keys[i];
      const bool listed = plan_.ListsKeys && i + 1 == plan_.Keys.size();
      for (std::size_t j = count + 1; j-- > 0;) {
        if (segment.AnyDepth) {
          current[j] = listed ? j < count : next[j] || (j < count && current[j + 1]);
        } else {
          current[j] = j < count && MatchesPattern(segment, names[j]) && next[j + 1];
        }
      }
      std::swap(current, next);
    }
    return next[0] != 0;
  }

  const TWalkPlan& plan_;
  std::size_t cap_;
  TWalkResult& result_;
  TWalkSink& sink_;
};

}  // namespace

void WalkDeletedRecords(const TWalkPlan& plan, std::size_t cap, TWalkResult& result,
                        TWalkSink& sink) {
  // A listing's last segment counts too, which HasWildcard leaves out.
  bool patterns = plan.Value.HasWildcard;
  for (const TNamePattern& segment : plan.Keys) patterns |= !IsLiteral(segment);
  if (!patterns || !result.Complete) return;
  TDeletedWalk(plan, cap, result, sink).Run();
}
