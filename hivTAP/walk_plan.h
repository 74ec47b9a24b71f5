// A key line read for a walk: its root, its key segments and its value
// name, each a pattern of stored names. Under /W a segment's `%XX` stands for
// that byte, `*` and `?` are wildcards, `**` is any depth of keys, `@` is
// the default value and a line ending in `\` lists keys; otherwise every
// segment is the literal name it spells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hivTAP/name_pattern.h"

struct TWalkPlan {
  std::uint32_t Root = 0;
  // The root's short name (HKLM...), which export's key paths start with.
  std::string RootName;
  std::vector<TNamePattern> Keys;
  TNamePattern Value;
  // The line ends in `\` under /W: the keys the last segment matches are
  // listed, not values.
  bool ListsKeys = false;
  // The first segment that /N shows: the first holding a wildcard, else the
  // last one (Keys.size() stands for the value).
  std::size_t FirstShown = 0;
  bool HasWildcard = false;
};

// False when `keySpec` names no key (no root it knows, no backslash).
bool PlanKeyLine(const std::string& keySpec, bool patterns, TWalkPlan& plan);
// One segment as /W reads it: `%XX` decoded, wildcards marked.
TNamePattern ParseSegment(const std::string& text, bool patterns);
