// Finds a key's values in its sections. A key with few values is read
// again on each new name; the value lines of keys with many are indexed by
// folded name, within a fixed budget. Nothing depends on the names asked
// for, so memory does not grow with them.
#pragma once

#include <cstdint>
#include <vector>

#include "Platform/charset_posix.h"
#include "RegistryFiles/Wine/wine_key_table.h"
#include "RegistryFiles/Wine/wine_reg_syntax.h"
#include "RegistryFiles/mapped_file.h"

namespace platform {
namespace wine {

class ValueCache {
 public:
  // `files` are the mapped files that sections name by number.
  explicit ValueCache(const MappedFile* files) : files_(files) {}
  // The last value named `folded` (lower-cased) in the key's sections, or
  // null; valid until the next call.
  const RawValue* Find(const KeyTable& keys, KeyId key, const U16& folded);
  // The names of the key's values, each once, as first written.
  void Names(const KeyTable& keys, KeyId key, std::vector<U16>* names);

 private:
  struct Slot {
    std::uint64_t hash = 0;
    std::uint64_t pos = 0;        // where the value's line starts
    std::uint32_t hive = kNoKey;  // kNoKey: free
  };
  struct Index {
    KeyId key = kNoKey;
    std::size_t count = 0;
    std::vector<Slot> slots;
  };

  bool Lookup(const KeyTable& keys, KeyId key, const U16& folded, RawValue* value);
  Index* Cached(KeyId key);
  Index& Indexed(const KeyTable& keys, KeyId key);
  const Slot* Probe(const Index& index, const U16& folded);
  bool Scan(const KeyTable& keys, KeyId key, const U16& folded, Slot* found);
  void Build(const KeyTable& keys, KeyId key, Index* index);
  template <typename Line>
  bool ForEachValueLine(const KeyTable& keys, KeyId key, Line line);
  void Insert(Index* index, const Slot& slot, const U16& folded);
  // The folded name of the value line at `slot`.
  void NameAt(const Slot& slot, U16* folded);

  const MappedFile* files_;
  std::vector<Index> recent_;  // most recent first
  std::size_t slots_ = 0;      // in all of recent_
  // The last answer: TRegistry asks for one value several times in a row.
  KeyId lastKey_ = kNoKey;
  U16 lastName_;
  bool lastFound_ = false;
  RawValue lastValue_;
  std::string line_;
  U16 name_;
};

}  // namespace wine
}  // namespace platform
