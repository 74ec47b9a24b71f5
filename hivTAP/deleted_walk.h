// The second part of a walk under /D: records recovered from the hive file
// beneath the line's literal start, matched against the rest of the line.
#pragma once

#include <cstddef>

#include "hivTAP/walk_plan.h"
#include "hivTAP/wildcard_walk.h"

// After WalkKeyLine: the recovered records the line matches, in the order the
// hive holds them, each key before its values, counted in `result` against
// `cap`. A line without wildcards gets none. Keys whose parent is gone, and
// values that no key lists, come only when every segment after the hive's
// root key is `**`, and after the others.
void WalkDeletedRecords(const TWalkPlan& plan, std::size_t cap, TWalkResult& result,
                        TWalkSink& sink);
