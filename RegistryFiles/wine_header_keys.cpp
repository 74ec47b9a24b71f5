#include "RegistryFiles/wine_header_keys.h"

#include <algorithm>
#include <cstring>

#include "RegistryFiles/wine_reg_syntax.h"

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
