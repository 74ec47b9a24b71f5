// The walk of a /W key line: keys depth-first, subkeys and values in
// Windows' order of names, one list of names held per level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Windows nests keys no deeper: a longer pattern matches nothing.
constexpr std::size_t kMaxPatternDepth = 512;

// A value that matches: its key's path beneath the root, its name, and
// the path the line prefix shows (from the first segment with a wildcard).
using TMatchSink = std::function<void(const std::string& keyPath, const std::string& valueName,
                                      const std::string& shownPath)>;

// Calls `sink` for each value matching `subKeyPath` (segments each followed
// by a backslash, as SplitKeySpec gives them) and `valuePattern` beneath
// `root`, at most `cap` times. Returns the number of calls; false in
// `*complete` when more values matched than `cap`.
std::size_t WalkPattern(std::uint32_t root, const std::string& subKeyPath,
                        const std::string& valuePattern, std::size_t cap, const TMatchSink& sink,
                        bool* complete);

// A name as the prefix shows it: `%`, `\`, `=` and control characters as
// %XX; the default value (a value's empty name) as `@`, and a name that is
// just `@` as %40.
std::string ShownName(const std::string& name, bool isValue);
