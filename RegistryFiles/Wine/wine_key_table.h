// The keys of a Wine prefix as one flat table: each key is its parent, its
// name as first written, and where its sections start in the files. Keys are
// found through one hash of parent and folded name; names share one buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/charset_posix.h"

namespace platform {
namespace wine {

using KeyId = std::uint32_t;
constexpr KeyId kNoKey = UINT32_MAX;
// Windows nests keys no deeper; deeper ones read as missing.
constexpr int kMaxKeyDepth = 512;

// Where a key's section starts: the line after its header, in one file.
struct Section {
  std::uint64_t pos;
  std::uint32_t hive;
  std::uint32_t next;  // the key's next section, or kNoKey
};

class KeyTable {
 public:
  // Adds `name` beneath `parent` (kNoKey: a root) unless a key of that name is
  // there already; kNoKey when it would nest deeper than kMaxKeyDepth.
  KeyId Add(KeyId parent, const char16_t* name, std::size_t n);
  // The same for a name of ASCII bytes.
  KeyId Add(KeyId parent, const char* name, std::size_t n);
  KeyId Add(KeyId parent, const char16_t* name) {
    return Add(parent, name, std::char_traits<char16_t>::length(name));
  }
  // The child of that name (any case), or kNoKey.
  KeyId Find(KeyId parent, const char16_t* name, std::size_t n) const;
  // Room for that many more keys and name units, so that loading a file
  // does not grow the table by copies.
  void Reserve(std::size_t keys, std::size_t nameUnits);

  std::size_t Size() const { return keys_.size(); }
  KeyId Parent(KeyId key) const { return keys_[key].parent; }
  // The key's own name, as first written.
  U16 Name(KeyId key) const { return U16(names_.data() + keys_[key].nameOff, keys_[key].nameLen); }
  int Depth(KeyId key) const { return keys_[key].depth; }
  bool IsLink(KeyId key) const { return keys_[key].link; }
  void SetLink(KeyId key) { keys_[key].link = true; }
  void AddSection(KeyId key, std::uint32_t hive, std::uint64_t pos);
  // The key's first section, then each one's `next`, in file order.
  std::uint32_t FirstSection(KeyId key) const { return keys_[key].first; }
  const Section& section(std::uint32_t i) const { return sections_[i]; }
  // The absolute path, each name as first written.
  U16 Path(KeyId key) const;
  // The same as UTF-8 (Utf16ToUtf8), into `out`.
  void PathUtf8(KeyId key, std::string* out) const;

 private:
  struct Key {
    KeyId parent;
    std::uint32_t nameOff;
    std::uint32_t hash;
    std::uint32_t first = kNoKey;
    std::uint32_t last = kNoKey;
    std::uint16_t nameLen;
    std::uint16_t depth : 15;
    std::uint16_t link : 1;
  };

  template <typename Char>
  KeyId Find(KeyId parent, const Char* name, std::size_t n, std::uint32_t hash) const;
  template <typename Char>
  bool Matches(const Key& key, KeyId parent, const Char* name, std::size_t n) const;
  template <typename Char>
  KeyId Insert(KeyId parent, const Char* name, std::size_t n);
  void Grow();

  const char16_t* fold_ = FoldTable();
  std::vector<Key> keys_;
  std::vector<char16_t> names_;
  std::vector<Section> sections_;
  std::vector<KeyId> slots_;  // open addressing; kNoKey is free
};

}  // namespace wine
}  // namespace platform
