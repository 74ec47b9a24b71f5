// The walk of a key line read through the Unicode calls: keys depth-first,
// subkeys and values in Windows' order of stored names, each match opened by
// its stored name beneath its parent's open key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "MyRegistry/registry_key.h"
#include "hivTAP/walk_plan.h"

// Windows nests keys no deeper: a longer pattern matches nothing, and `**`
// goes no deeper.
constexpr std::size_t kMaxPatternDepth = 512;

// A key the walk stands in, as a sink sees it.
class TWalkKey {
 public:
  TWalkKey(const TRegistryKey& key, const std::u16string& path) : key_(key), path_(path) {}
  const TRegistryKey& Key() const { return key_; }
  // The root's short name, then the names: the line's spelling for literal
  // segments, the stored names for matched ones.
  const std::u16string& Path() const { return path_; }
  // Its last-write time and counts, asked for once; false when they cannot
  // be read.
  bool Info(platform::RegKeyInfo& info) const;

 private:
  const TRegistryKey& key_;
  const std::u16string& path_;
  mutable bool asked_ = false;
  mutable bool known_ = false;
  mutable platform::RegKeyInfo info_;
};

// A value found, read whole.
struct TFoundValue {
  std::u16string Name;
  std::uint32_t Type = 0;
  std::string Data;
};

// A record recovered from a hive file's unallocated cells (/D).
struct TRecoveredRecord {
  bool IsKey = false;
  // The root's short name, then the names; for a partial key only the names
  // that could be rebuilt, and empty for a value that no key lists.
  std::u16string Path;
  bool Partial = false;
  // The key's last-write time; unknown for a value that no key lists.
  bool HasTime = false;
  std::uint64_t LastWrite = 0;
  // A key's counts of what was recovered beneath it.
  std::uint32_t SubKeys = 0;
  std::uint32_t Values = 0;
  TFoundValue Value;
  // False when the value's cell was reused since: its data is not known.
  bool Reliable = true;
};

class TWalkSink {
 public:
  virtual ~TWalkSink() = default;
  // A value that matches; `keyShown` is the path /N shows for its key, which
  // its ShownName follows.
  virtual void Value(const TWalkKey& key, const TFoundValue& value,
                     const std::string& keyShown) = 0;
  // A key that a listing matches; or, when EntersKeys, a key whose values a
  // walk through wildcards lists, before them.
  virtual void Key(const TWalkKey& key, const std::string& shown) = 0;
  virtual bool EntersKeys() const { return false; }
  // A recovered record, after the live ones; `shown` is its marked path as a
  // text line writes it.
  virtual void Recovered(const TRecoveredRecord& record, const std::string& shown) = 0;
};

struct TWalkResult {
  // Sink calls made.
  std::size_t Count = 0;
  // False when more matched than the cap.
  bool Complete = true;
  // A line without wildcards: the key it names, when it exists.
  bool KeyFound = false;
  platform::RegKeyInfo KeyInfo;
};

TWalkResult WalkKeyLine(const TWalkPlan& plan, std::size_t cap, TWalkSink& sink);

// A name as the /N path shows it: `%`, `\`, `=`, `*`, `?`, DEL and control
// characters as %XX; the default value (a value's empty name) as `@`, and a value named
// just `@` as %40. Names are in the ANSI code page, as the line is.
std::string ShownName(const std::u16string& name, bool isValue);
