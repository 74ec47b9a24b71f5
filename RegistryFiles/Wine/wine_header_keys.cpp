#include "RegistryFiles/Wine/wine_header_keys.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "RegistryFiles/Wine/wine_reg_syntax.h"

namespace platform {
namespace wine {
namespace {

// wineserver's limit: longer key name elements fail.
constexpr std::size_t kMaxKeyNameLen = 256;

// How many leading bytes a and b share, a word at a time.
std::size_t SharedPrefix(const char* a, const char* b, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) break;
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Whether the 8 bytes at p are all printable ASCII but the backslash.
bool PlainWord(const char* p) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighs = 0x8080808080808080u;
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  const std::uint64_t below = (w - kOnes * 0x20) & ~w;  // a byte under 0x20
  const std::uint64_t x = w ^ (kOnes * '\\');
  const std::uint64_t y = w ^ (kOnes * 0x7f);
  const std::uint64_t zero = ((x - kOnes) & ~x) | ((y - kOnes) & ~y);  // a '\\' or 0x7f
  return ((below | zero | w) & kHighs) == 0;                           // w: a byte over 0x7f
}

}  // namespace

KeyId HeaderKeys::Open(KeyId base, const char* p, const char* stop, bool probe) {
  const void* close = std::memchr(p, ']', stop - p);
  const Form form = prevForm_;
  prevForm_ = Form::kNone;
  if (close) {
    const KeyId key = OpenPlain(base, p, static_cast<const char*>(close), probe,
                                form == Form::kPlain && base == prevBase_);
    if (key != kEscaped) return key;
  }
  return OpenEscaped(base, p, stop, probe, form == Form::kEscaped && base == prevBase_);
}

// Printable ASCII whose only escapes are doubled backslashes is its own
// decoded form: names are the bytes between the doubled backslashes.
KeyId HeaderKeys::OpenPlain(KeyId base, const char* p, const char* end, bool probe, bool reuse) {
  const std::size_t n = end - p;
  KeyId key = base;
  std::size_t i = 0;  // where the names still to add start
  std::size_t kept = 0;
  if (reuse && !probe) {
    const std::size_t same = SharedPrefix(p, prevText_, std::min(n, prevLen_));
    for (const auto& done : prevKeys_) {
      if (done.first > same || (done.first < n && (done.first + 1 >= n || p[done.first] != '\\' ||
                                                   p[done.first + 1] != '\\')))
        break;
      key = done.second;
      i = done.first + 2;
      ++kept;
    }
  }
  // The rest must be plain too, else the whole header is unescaped. Where
  // the names end is noted on the way.
  ends_.clear();
  for (std::size_t k = i; k < n; ++k) {
    if (k + 8 <= n && PlainWord(p + k)) {
      k += 7;
      continue;
    }
    const char c = p[k];
    if (c == '\\') {
      if (k + 1 >= n || p[k + 1] != '\\') return kEscaped;
      ends_.push_back(k++);
    } else if (c < 0x20 || c > 0x7e) {
      return kEscaped;
    }
  }
  if (n == 0) return base;
  ends_.push_back(n);
  prevKeys_.resize(kept);
  int depth = keys_->Depth(key);
  for (const std::size_t j : ends_) {
    // i passes n when the whole header was the previous one's.
    if (j > i) {
      if (j - i > kMaxKeyNameLen) return kNoKey;  // the server refuses it
      if (++depth > kMaxKeyDepth) return kNoKey;  // Windows nests no deeper
      if (!probe) {
        key = keys_->Add(key, p + i, j - i);
        prevKeys_.emplace_back(j, key);
      }
    }
    i = j + 2;
  }
  if (!probe) {
    prevText_ = p;
    prevLen_ = n;
    prevBase_ = base;
    prevForm_ = Form::kPlain;
  }
  return key;
}

KeyId HeaderKeys::OpenEscaped(KeyId base, const char* p, const char* stop, bool probe, bool reuse) {
  // ParseStr reads up to a NUL, as the loader's line ends at one.
  line_.assign(p, stop);
  if (ParseStr(line_.c_str(), ']', &units_) < 0) return kNoKey;
  if (units_.empty() || units_[0] == 0) return base;
  const std::size_t n = units_.size();
  KeyId key = base;
  std::size_t i = 0;
  std::size_t kept = 0;
  if (reuse && !probe) {
    std::size_t same = 0;
    const std::size_t m = std::min(n, prevUnits_.size());
    while (same < m && units_[same] == prevUnits_[same]) ++same;
    for (const auto& done : prevKeys_) {
      if (done.first > same || (done.first < n && units_[done.first] != u'\\')) break;
      key = done.second;
      i = done.first + 1;
      ++kept;
    }
  }
  prevKeys_.resize(kept);
  int depth = keys_->Depth(key);
  while (i < n) {
    std::size_t j = i;
    while (j < n && units_[j] != u'\\') ++j;
    if (j - i > kMaxKeyNameLen) return kNoKey;  // the server refuses it
    if (j > i) {
      if (++depth > kMaxKeyDepth) return kNoKey;  // Windows nests no deeper
      if (!probe) {
        key = keys_->Add(key, units_.data() + i, j - i);
        prevKeys_.emplace_back(j, key);
      }
    }
    i = j + 1;
  }
  if (!probe) {
    prevUnits_.swap(units_);
    prevBase_ = base;
    prevForm_ = Form::kEscaped;
  }
  return key;
}

}  // namespace wine
}  // namespace platform

namespace platform {
namespace wine {
namespace {

// Whether [p, p + n) reads as itself: printable ASCII, backslashes doubled.
bool Plain(const char* p, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) {
    if (k + 8 <= n && PlainWord(p + k)) {
      k += 7;
      continue;
    }
    const char c = p[k];
    if (c == '\\') {
      if (k + 1 >= n || p[k + 1] != '\\') return false;
      ++k;
    } else if (c < 0x20 || c > 0x7e) {
      return false;
    }
  }
  return true;
}

// Printable ASCII folded; 0 for any other byte.
struct LowerBytes {
  unsigned char value[256];
  constexpr LowerBytes() : value() {
    for (int c = 0x20; c < 0x7f; ++c) {
      value[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
  }
};
constexpr LowerBytes kLower;

template <typename Char>
bool SameName(const char16_t* fold, const Char* s, std::size_t n, const U16& folded) {
  if (n != folded.size()) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (fold[static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(s[i]))] != folded[i])
      return false;
  }
  return true;
}

}  // namespace

void HeaderKeys::SetTarget(const std::vector<U16>* target, bool subtree) {
  target_ = target;
  subtree_ = subtree;
  made_ = 0;
  plain_.clear();
  namesBefore_.clear();
  for (std::size_t k = 0; k < target->size(); ++k) {
    if (k) {
      plain_ += "\\\\";
      namesBefore_.insert(namesBefore_.end(), 2, k);
    }
    for (const char16_t c : (*target)[k]) {
      // ']' ends a header: the slow way decides there.
      const bool ascii = c >= 0x20 && c < 0x7f && c != u'\\' && c != u']';
      plain_ += ascii ? static_cast<char>(c) : '\xFF';
      namesBefore_.push_back(k);
    }
  }
}

// Most headers part from the target inside a name, with plain bytes on
// both sides: those are known off the path from the bytes they share with
// it. A name shorter than 257 bytes whose ']' is not escaped is well formed.
bool HeaderKeys::FastOffPath(KeyId base, const char* p, const char* stop) {
  const void* close = std::memchr(p, ']', stop - p);
  if (!close) return false;
  const std::size_t n = static_cast<const char*>(close) - p;
  if (n == 0 || n > kMaxKeyNameLen || p[n - 1] == '\\' || std::memchr(p, '\0', n)) return false;
  const std::size_t lim = std::min(n, plain_.size());
  std::size_t at = 0;
  while (at < lim &&
         kLower.value[static_cast<unsigned char>(p[at])] == static_cast<unsigned char>(plain_[at]))
    ++at;
  if (at >= lim || p[at] == '\\' || plain_[at] == '\\' ||
      kLower.value[static_cast<unsigned char>(p[at])] == 0)
    return false;
  const std::size_t same = namesBefore_[at];
  if (same > made_) AddLeading(base, p, n, 2, same);
  return true;
}

template <typename Char>
void HeaderKeys::AddLeading(KeyId base, const Char* name, std::size_t n, std::size_t step,
                            std::size_t count) {
  KeyId key = base;
  std::size_t i = 0;
  for (std::size_t k = 0; k < count; ++k) {
    while (name[i] == '\\') i += step;
    std::size_t j = i;
    while (j < n && name[j] != '\\') ++j;
    key = keys_->Add(key, name + i, j - i);
    i = j;
  }
  made_ = count;
}

KeyId HeaderKeys::OpenOnPath(KeyId base, const char* p, const char* stop) {
  if (FastOffPath(base, p, stop)) return kOffPath;
  const void* close = std::memchr(p, ']', stop - p);
  const std::size_t n = close ? static_cast<const char*>(close) - p : 0;
  const bool plain = close && Plain(p, n);
  // Short plain headers are always well formed; the rest are checked as the
  // full load checks them.
  if ((!plain || n > kMaxKeyNameLen) && Open(base, p, stop, true) == kNoKey) return kNoKey;
  if (plain) return OnPath(base, p, stop, p, n, 2);
  line_.assign(p, stop);
  ParseStr(line_.c_str(), ']', &units_);
  const std::size_t units = units_.empty() || units_[0] == 0 ? 0 : units_.size();
  const U16 name = units_;  // Open below reuses units_
  return OnPath(base, p, stop, name.data(), units, 1);
}

// `name` is the header's decoded text; names are split by `step` backslashes.
template <typename Char>
KeyId HeaderKeys::OnPath(KeyId base, const char* p, const char* stop, const Char* name,
                         std::size_t n, std::size_t step) {
  const std::vector<U16>& target = *target_;
  const char16_t* fold = FoldTable();
  std::size_t i = 0, same = 0;
  bool more = false;
  for (;;) {
    while (i < n && name[i] == '\\') i += step;
    if (i >= n || (subtree_ && same == target.size())) break;
    std::size_t j = i;
    while (j < n && name[j] != '\\') ++j;
    if (same == target.size() || !SameName(fold, name + i, j - i, target[same])) {
      more = true;
      break;
    }
    ++same;
    i = j;
  }
  if (!more) {
    made_ = std::max(made_, same);
    return Open(base, p, stop, false);
  }
  if (same > made_) AddLeading(base, name, n, step, same);
  return kOffPath;
}

}  // namespace wine
}  // namespace platform
