// Turns the `[name] time` header lines of a Wine registry file into keys of a
// KeyTable, as the loader does: names split at backslashes, empty ones
// dropped, an element over 256 chars or a nesting past Windows' depth makes
// the header malformed (the keys before it stay).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Platform/charset_posix.h"
#include "RegistryFiles/Wine/wine_key_table.h"

namespace platform {
namespace wine {

class HeaderKeys {
 public:
  explicit HeaderKeys(KeyTable* keys) : keys_(keys) {}
  // The key of the header whose text follows '[' at `p`, up to the line end
  // `stop`, beneath `base`; kNoKey for a malformed header. With `probe`, only
  // says whether it is well formed and adds nothing. The text must stay
  // readable until the next call: it is compared with the next header's.
  KeyId Open(KeyId base, const char* p, const char* stop, bool probe);

  // Lookups of one key: only headers on `target`'s path (folded names
  // beneath the file's base) become keys, with their sections; other
  // headers only add the leading names they share with it, so that names
  // keep the spelling they were first written in. With `subtree`, headers
  // beneath the target become keys too.
  void SetTarget(const std::vector<U16>* target, bool subtree);
  // As Open, for a header off the target's path kOffPath.
  static constexpr KeyId kOffPath = kNoKey - 2;
  KeyId OpenOnPath(KeyId base, const char* p, const char* stop);

 private:
  // kEscaped: the header is not plain, unescape it.
  static constexpr KeyId kEscaped = kNoKey - 1;
  KeyId OpenPlain(KeyId base, const char* p, const char* end, bool probe, bool reuse);
  KeyId OpenEscaped(KeyId base, const char* p, const char* stop, bool probe, bool reuse);
  bool FastOffPath(KeyId base, const char* p, const char* stop);
  template <typename Char>
  void AddLeading(KeyId base, const Char* name, std::size_t n, std::size_t step, std::size_t count);
  template <typename Char>
  KeyId OnPath(KeyId base, const char* p, const char* stop, const Char* name, std::size_t n,
               std::size_t step);

  KeyTable* keys_;
  const std::vector<U16>* target_ = nullptr;
  bool subtree_ = false;
  std::size_t made_ = 0;  // the target's leading names already keys
  // The target as a plain header would spell it folded, names joined by
  // doubled backslashes; 0xFF stands for what no plain byte folds to. And
  // how many names end before each of its bytes.
  std::string plain_;
  std::vector<std::size_t> namesBefore_;
  U16 units_;
  std::string line_;
  std::vector<std::size_t> ends_;  // where the names of a plain header end
  // The previous header: its form, text, and the key each name led to, by
  // where the name ends in the text.
  enum class Form { kNone, kPlain, kEscaped };
  KeyId prevBase_ = kNoKey;
  Form prevForm_ = Form::kNone;
  const char* prevText_ = nullptr;  // in the caller's mapped file
  std::size_t prevLen_ = 0;
  U16 prevUnits_;
  std::vector<std::pair<std::size_t, KeyId>> prevKeys_;
};

}  // namespace wine
}  // namespace platform
