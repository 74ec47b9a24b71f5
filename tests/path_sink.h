// A walk sink that keeps the /N path of every line a walk gives, live and
// recovered, for tests of which keys and values a key line matches.
#pragma once

#include <string>
#include <vector>

#include "hivTAP/deleted_walk.h"
#include "hivTAP/walk_plan.h"
#include "hivTAP/wildcard_walk.h"

class TPathSink : public TWalkSink {
 public:
  void Value(const TWalkKey&, const TFoundValue& value, const std::string& shown) override {
    paths.push_back(shown + ShownName(value.Name, true));
  }
  void Key(const TWalkKey&, const std::string& shown) override { paths.push_back(shown); }
  void Recovered(const TRecoveredRecord&, const std::string& shown) override {
    paths.push_back(shown);
  }
  std::vector<std::string> paths;
};

// The /N paths of what `keyLine` matches under /W: the live ones, then with
// `recovered` those recovered from a hive's free cells. `*complete` is false
// when the cap stopped the walk. A line that names no key, or a count that
// differs from the lines given, shows as a path of its own, which no test
// expects.
inline std::vector<std::string> WalkedPaths(const std::string& keyLine, std::size_t cap,
                                            bool recovered, bool* complete) {
  TPathSink sink;
  TWalkPlan plan;
  if (!PlanKeyLine(keyLine, true, plan)) return {"(no key line)"};
  TWalkResult result = WalkKeyLine(plan, cap, sink);
  if (recovered) WalkDeletedRecords(plan, cap, result, sink);
  if (complete) *complete = result.Complete;
  if (result.Count != sink.paths.size()) sink.paths.push_back("(count differs)");
  return sink.paths;
}
