// Reads keys and values out of a Wine prefix the way wineserver's loader
// (server/registry.c) would have put them into its registry tree, without
// building that tree: one pass per file indexes the key headers, and values
// are decoded from their section only when asked for.
#include "RegistryFiles/wine_prefix_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Platform/charset_posix.h"

namespace platform {
namespace {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;
// wineserver's limits: longer key name elements fail, longer value names are
// never stored.
constexpr std::size_t kMaxKeyNameLen = 256;
constexpr std::size_t kMaxValueNameLen = 16383;
// wineserver gives up on name lookups nested deeper than this.
constexpr int kMaxLinkDepth = 32;

const char kHeader[] = "WINE REGISTRY Version 2";
const char kDefaultUserSid[] = "S-1-5-21-0-0-0-1000";

// Stored string data as UTF-16 units; an odd trailing byte is dropped.
U16 UnitsOf(const std::string& bytes) {
  U16 units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return units;
}

// Paths we hand out are UTF-8; anything else is taken as ANSI.
U16 DecodePath(const std::string& path) {
  U16 out;
  if (!Utf8ToUtf16(path, &out)) out = WidenAnsi(path);
  return out;
}

// ---------------------------------------------------------------------------
// The loader's parsing, byte for byte. Input lines are NUL-terminated.

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsXDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

const char* SkipSpace(const char* p) {
  while (IsSpace(*p)) ++p;
  return p;
}

// Unescapes up to `endchar` as parse_strW does: C escapes, \x with 1-4 hex
// digits, 1-3 octal digits, any other escaped char taken literally, raw bytes
// as UTF-8 with invalid sequences dropped. Returns the bytes consumed
// including the delimiter, or -1 when the delimiter is missing.
int ParseStr(const char* src, char endchar, U16* out) {
  static const unsigned char kUtf8Mask[4] = {0x7f, 0x1f, 0x0f, 0x07};
  static const unsigned kUtf8MinVal[4] = {0x0, 0x80, 0x800, 0x10000};

  out->clear();
  const char* p = src;
  while (*p && *p != endchar) {
    if (*p == '\\') {
      ++p;
      if (!*p) break;
      char16_t c = 0;
      switch (*p) {
        case 'a':
          c = '\a';
          break;
        case 'b':
          c = '\b';
          break;
        case 'e':
          c = 0x1b;
          break;
        case 'f':
          c = '\f';
          break;
        case 'n':
          c = '\n';
          break;
        case 'r':
          c = '\r';
          break;
        case 't':
          c = '\t';
          break;
        case 'v':
          c = '\v';
          break;
        case 'x':
          ++p;
          if (!IsXDigit(*p)) {
            out->push_back('x');
            continue;
          }
          for (int n = 0; n < 4 && IsXDigit(*p); ++n) c = c * 16 + HexDigit(*p++);
          out->push_back(c);
          continue;
        default:
          if (*p >= '0' && *p <= '7') {
            for (int n = 0; n < 3 && *p >= '0' && *p <= '7'; ++n) c = c * 8 + (*p++ - '0');
            out->push_back(c);
            continue;
          }
          c = 0xFFFF;  // not an escape: the char is taken as it is
          break;
      }
      if (c != 0xFFFF) {
        out->push_back(c);
        ++p;
        continue;
      }
    }
    unsigned char ch = static_cast<unsigned char>(*p++);
    if (ch < 0x80) {
      out->push_back(ch);
      continue;
    }
    // Continuation bytes; C0, C1 and F5-FF never start a sequence.
    int len = ch >= 0xF5 ? 0 : ch >= 0xF0 ? 3 : ch >= 0xE0 ? 2 : ch >= 0xC2 ? 1 : 0;
    if (len == 0) continue;
    unsigned res = ch & kUtf8Mask[len];
    bool ok = true;
    for (int n = 0; n < len; ++n) {
      unsigned char t = static_cast<unsigned char>(*p) ^ 0x80;
      if (t >= 0x40) {
        ok = false;
        break;
      }
      res = (res << 6) | t;
      ++p;
    }
    if (!ok || res < kUtf8MinVal[len] || res > 0x10FFFF) continue;
    if (res <= 0xFFFF) {
      out->push_back(static_cast<char16_t>(res));
    } else {
      res -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 | (res >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 | (res & 0x3FF)));
    }
  }
  if (!*p) return -1;
  return static_cast<int>(p + 1 - src);
}

// Comma- or space-separated hex bytes. Returns the bytes consumed or -1.
int ParseHex(const char* buffer, std::string* out) {
  const char* p = buffer;
  while (IsXDigit(*p)) {
    char* end = nullptr;
    unsigned long val = std::strtoul(p, &end, 16);
    if (end == p || val > 0xff) return -1;
    out->push_back(static_cast<char>(val));
    p = SkipSpace(end);
    if (*p == ',') ++p;
    p = SkipSpace(p);
  }
  return static_cast<int>(p - buffer);
}

enum class ParseAs { kString, kDword, kBinary };

// Matches the type tag after '='. Returns its length, 0 if unknown.
int GetDataType(const char* buffer, std::uint32_t* type, ParseAs* as) {
  struct Tag {
    const char* tag;
    int len;
    std::uint32_t type;
    ParseAs as;
  };
  static const Tag kTags[] = {
      {"\"", 1, kRegSz, ParseAs::kString},
      {"str:\"", 5, kRegSz, ParseAs::kString},
      {"str(2):\"", 8, kRegExpandSz, ParseAs::kString},
      {"str(7):\"", 8, kRegMultiSz, ParseAs::kString},
      {"hex:", 4, kRegBinary, ParseAs::kBinary},
      {"dword:", 6, kRegDword, ParseAs::kDword},
  };
  for (const Tag& t : kTags) {
    if (std::strncmp(t.tag, buffer, t.len) == 0) {
      *type = t.type;
      *as = t.as;
      return t.len;
    }
  }
  if (std::strncmp("hex(", buffer, 4) != 0) return 0;
  // strtoul as the loader uses it: spaces, a sign and 0x are all accepted.
  char* end = nullptr;
  *type = static_cast<std::uint32_t>(std::strtoul(buffer + 4, &end, 16));
  *as = ParseAs::kBinary;
  if (std::strncmp(end, "):", 2) != 0) return 0;
  return static_cast<int>(end + 2 - buffer);
}

// Parses `"name"=` or `@=`. Returns the offset of the data, or 0 when the line
// names no value (the loader then skips it entirely).
std::size_t ParseValueName(const char* buffer, U16* name) {
  std::size_t len;
  if (buffer[0] == '@') {
    name->clear();
    len = 1;
  } else {
    int r = ParseStr(buffer + 1, '"', name);
    if (r < 0) return 0;
    len = static_cast<std::size_t>(r) + 1;
  }
  while (IsSpace(buffer[len])) ++len;
  if (buffer[len] != '=') return 0;
  ++len;
  while (IsSpace(buffer[len])) ++len;
  if (name->size() > kMaxValueNameLen) return 0;
  return len;
}

// One line of a file: the text up to the newline, as the loader's fgets and
// strlen see it (a NUL ends it; "\r\n" counts as a newline).
class LineReader {
 public:
  LineReader(const std::string& text, std::size_t pos, std::size_t end)
      : text_(text), pos_(pos), end_(end) {}

  bool Next(std::string* line) {
    if (pos_ >= end_) return false;
    start_ = pos_;
    const char* base = text_.data();
    const void* nl = std::memchr(base + pos_, '\n', end_ - pos_);
    std::size_t stop = nl ? static_cast<const char*>(nl) - base : end_;
    std::size_t cut = stop;
    if (nl && cut > pos_ && base[cut - 1] == '\r') --cut;
    if (const void* nul = std::memchr(base + pos_, '\0', cut - pos_))
      cut = static_cast<const char*>(nul) - base;
    line->assign(base + pos_, cut - pos_);
    pos_ = nl ? stop + 1 : end_;
    return true;
  }
  std::size_t pos() const { return pos_; }
  std::size_t lineStart() const { return start_; }

 private:
  const std::string& text_;
  std::size_t pos_;
  std::size_t end_;
  std::size_t start_ = 0;
};

struct RawValue {
  std::uint32_t type = 0;
  std::string data;  // strings as UTF-16LE, as the server holds them
};

void AppendUtf16(const U16& s, std::string* out) {
  for (char16_t c : s) {
    out->push_back(static_cast<char>(c & 0xFF));
    out->push_back(static_cast<char>(c >> 8));
  }
}

// Decodes the data after `name=`, reading continuation lines from `more`.
// A value whose data does not parse still exists, as REG_NONE with no data.
RawValue DecodeData(const char* buffer, LineReader* more) {
  RawValue v;
  ParseAs as;
  int res = GetDataType(buffer, &v.type, &as);
  if (!res) return {};
  buffer += res;
  switch (as) {
    case ParseAs::kString: {
      U16 s;
      if (ParseStr(buffer, '"', &s) < 0) return {};
      s.push_back(0);
      AppendUtf16(s, &v.data);
      break;
    }
    case ParseAs::kDword: {
      auto dw = static_cast<std::uint32_t>(std::strtoul(buffer, nullptr, 16));
      for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<char>(dw >> (8 * i)));
      break;
    }
    case ParseAs::kBinary: {
      std::string next;
      const char* p = buffer;
      for (;;) {
        int r = ParseHex(p, &v.data);
        if (r < 0) return {};
        p = SkipSpace(p + r);
        if (!*p) break;
        // Whatever follows the backslash is ignored.
        if (*p != '\\' || !more->Next(&next)) return {};
        p = SkipSpace(next.c_str());
      }
      break;
    }
  }
  return v;
}

// Consumes the continuation lines of a value line; only a hex value whose
// line reaches a backslash has any.
void SkipContinuations(const std::string& line, const char* p, LineReader* reader) {
  if (line.find('\\') == std::string::npos) return;
  U16 name;
  std::size_t off = ParseValueName(p, &name);
  if (off) DecodeData(p + off, reader);
}

bool StartsWithFolded(const U16& path, const U16& prefix) {
  return path.size() >= prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
         (path.size() == prefix.size() || path[prefix.size()] == u'\\');
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool ReadWholeFile(const std::string& path, std::string* out) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out->clear();
  out->reserve(static_cast<std::size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out->append(buf, static_cast<std::size_t>(n));
  }
}

enum class Arch { kUnknown, kWin32, kWin64 };

}  // namespace

// ---------------------------------------------------------------------------

class WinePrefixStore::Impl {
 public:
  explicit Impl(std::string dir) : dir_(std::move(dir)) {
    root_ = AddKey(nullptr, u"Registry");
    machine_ = AddKey(root_, u"Machine");
    users_ = AddKey(root_, u"User");
    userDefault_ = AddKey(users_, u".Default");
    system_.file = "system.reg";
    userdef_.file = "userdef.reg";
    user_.file = "user.reg";
  }

  bool RootPath(std::uint32_t root, std::string* path) {
    U16 p;
    switch (root) {
      case 0x80000000:
        p = u"\\Registry\\Machine\\Software\\Classes";
        break;
      case 0x80000001:
        p = u"\\Registry\\User\\" + UserSid();
        break;
      case 0x80000002:
        p = u"\\Registry\\Machine";
        break;
      case 0x80000003:
        p = u"\\Registry\\User";
        break;
      case 0x80000005:
        p = u"\\Registry\\Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current";
        break;
      default:
        return false;
    }
    *path = Utf16ToUtf8(p);
    return true;
  }

  bool OpenKey(const std::string& parent, const std::string& subKey, std::string* path) {
    KeyInfo* base = ResolveAbsolute(DecodePath(parent), 0);
    U16 sub = WidenAnsi(subKey);
    // Below a key, a path may not start with a backslash.
    if (!base || (!sub.empty() && sub[0] == u'\\')) return false;
    KeyInfo* key = Walk(base, sub, 0);
    if (!key) return false;
    *path = Utf16ToUtf8(Spelled(key));
    return true;
  }

  bool QueryValue(const std::string& path, const std::string& name, StoredValue* value) {
    KeyInfo* key = ResolveAbsolute(DecodePath(path), 0);
    if (!key) return false;
    const std::optional<RawValue>& raw = FindValue(key, FoldCase(WidenAnsi(name)));
    if (!raw) return false;
    value->type = raw->type;
    if (raw->type == kRegSz || raw->type == kRegExpandSz || raw->type == kRegMultiSz) {
      // Each UTF-16 unit becomes one byte.
      const U16 units = UnitsOf(raw->data);
      value->data = NarrowToAnsi(units.data(), units.size());
    } else {
      value->data = raw->data;
    }
    return true;
  }

 private:
  struct Hive;
  struct Section {
    const Hive* hive;
    std::size_t begin;
    std::size_t end;
  };
  // Built on a key's first query, so that later ones decode just the line
  // they need.
  struct ValueIndex {
    // Where the last line naming each value starts, by folded name.
    std::unordered_map<U16, std::pair<const Section*, std::size_t>> lines;
    std::unordered_map<U16, std::optional<RawValue>> values;  // decoded, by folded name
  };
  struct KeyInfo {
    // Only the name is kept, as first written; paths are rebuilt from parents.
    KeyInfo* parent = nullptr;
    U16 name;
    bool link = false;
    std::vector<Section> sections;
    std::unique_ptr<ValueIndex> valueIndex;
  };
  // Keys are found by parent and folded name, which keeps the index small
  // next to the file it indexes.
  struct ChildName {
    const KeyInfo* parent;
    U16 folded;
    bool operator==(const ChildName& other) const {
      return parent == other.parent && folded == other.folded;
    }
  };
  struct ChildNameHash {
    std::size_t operator()(const ChildName& c) const {
      return std::hash<U16>()(c.folded) ^ (std::hash<const void*>()(c.parent) * 31);
    }
  };
  struct Hive {
    std::string file;
    bool loaded = false;
    bool valid = false;
    std::string text;
  };

  static U16 Spelled(const KeyInfo* key) {
    return (key->parent ? Spelled(key->parent) : U16()) + u'\\' + key->name;
  }

  KeyInfo* Root() { return root_; }

  // Adds `name` beneath `parent` unless a key of that name is there already.
  KeyInfo* AddKey(KeyInfo* parent, const U16& name) {
    ChildName child{parent, FoldCase(name)};
    auto it = keys_.find(child);
    if (it != keys_.end()) return &it->second;
    it = keys_.emplace(std::move(child), KeyInfo()).first;
    it->second.parent = parent;
    it->second.name = name;
    return &it->second;
  }

  // The child of `parent` with that folded name; the files are read when
  // a key beneath them is first looked for.
  KeyInfo* Find(const KeyInfo* parent, U16 folded) {
    if (parent == machine_) {
      LoadSystem();
    } else if (parent == users_) {
      LoadUser();
      LoadUserDef();
    }
    auto it = keys_.find(ChildName{parent, std::move(folded)});
    return it == keys_.end() ? nullptr : &it->second;
  }

  // Follows `rel` down from `key` as the server's key lookup does: runs of
  // backslashes separate names, trailing ones are ignored, links are followed
  // (also at the end) once a name has been looked up.
  KeyInfo* Walk(KeyInfo* key, const U16& rel, int depth) {
    if (rel.empty()) return key;
    std::size_t i = 0;
    for (;;) {
      if (key->link && !(key = ResolveLink(key, depth + 1))) return nullptr;
      if (i >= rel.size()) return key;
      std::size_t j = rel.find(u'\\', i);
      if (j == U16::npos) j = rel.size();
      if (j - i > kMaxKeyNameLen) return nullptr;
      KeyInfo* child = Find(key, FoldCase(rel.substr(i, j - i)));
      if (!child) return nullptr;
      key = child;
      i = rel.find_first_not_of(u'\\', j);
      if (i == U16::npos) i = rel.size();
    }
  }

  // An absolute path such as \Registry\Machine\Software.
  KeyInfo* ResolveAbsolute(const U16& path, int depth) {
    static const U16 kRoot = u"\\registry";
    if (depth > kMaxLinkDepth ||
        !StartsWithFolded(FoldCase(path.substr(0, kRoot.size() + 1)), kRoot))
      return nullptr;
    if (path.size() <= kRoot.size() + 1) return Root();
    if (path[kRoot.size() + 1] == u'\\') return nullptr;
    return Walk(Root(), path.substr(kRoot.size() + 1), depth);
  }

  KeyInfo* ResolveLink(KeyInfo* link, int depth) {
    if (depth > kMaxLinkDepth) return nullptr;
    const std::optional<RawValue>& v = FindValue(link, u"symboliclinkvalue");
    if (!v || v->data.size() < 2 || v->data[0] != '\\' || v->data[1] != '\0') return nullptr;
    return ResolveAbsolute(UnitsOf(v->data), depth);
  }

  // The last value of that name in the key's sections, decoded once.
  const std::optional<RawValue>& FindValue(KeyInfo* key, const U16& folded) {
    if (!key->valueIndex) IndexValues(key);
    ValueIndex& index = *key->valueIndex;
    auto cached = index.values.find(folded);
    if (cached != index.values.end()) return cached->second;
    std::optional<RawValue>& result = index.values[folded];
    auto where = index.lines.find(folded);
    if (where != index.lines.end()) {
      const Section& s = *where->second.first;
      LineReader reader(s.hive->text, where->second.second, s.end);
      std::string line;
      U16 name;
      reader.Next(&line);
      const char* p = SkipSpace(line.c_str());
      result = DecodeData(p + ParseValueName(p, &name), &reader);
    }
    return result;
  }

  void IndexValues(KeyInfo* key) {
    // The roots' own values are in the files too.
    if (key == machine_) LoadSystem();
    key->valueIndex = std::make_unique<ValueIndex>();
    std::string line;
    U16 name;
    for (const Section& s : key->sections) {
      LineReader reader(s.hive->text, s.begin, s.end);
      while (reader.Next(&line)) {
        const char* p = SkipSpace(line.c_str());
        if ((*p != '@' && *p != '"') || !ParseValueName(p, &name)) continue;
        key->valueIndex->lines[FoldCase(name)] = {&s, reader.lineStart()};
        SkipContinuations(line, p, &reader);
      }
    }
  }

  // Reads and indexes one file below `base`. Arch checks follow the loader:
  // an unknown #arch, or one differing from system.reg's, ends the file there.
  void LoadHive(Hive* hive, KeyInfo* base, bool isSystem) {
    LineReader reader(hive->text, 0, hive->text.size());
    std::string line;
    if (!reader.Next(&line) || line != kHeader) return;
    hive->valid = true;
    KeyInfo* current = nullptr;
    std::size_t sectionBegin = 0;
    auto closeSection = [&](std::size_t end) {
      if (current) current->sections.push_back({hive, sectionBegin, end});
    };
    while (reader.Next(&line)) {
      const char* p = SkipSpace(line.c_str());
      if (*p == '[') {
        closeSection(reader.lineStart());
        current = HeaderKey(base, p + 1);
        sectionBegin = reader.pos();
      } else if (*p == '@' || *p == '"') {
        if (current) SkipContinuations(line, p, &reader);
      } else if (*p == '#') {
        if (current) {
          if (std::strncmp(p, "#link", 5) == 0) current->link = true;
        } else if (std::strncmp(p, "#arch=", 6) == 0) {
          Arch a = std::strcmp(p + 6, "win32") == 0   ? Arch::kWin32
                   : std::strcmp(p + 6, "win64") == 0 ? Arch::kWin64
                                                      : Arch::kUnknown;
          Arch expected = isSystem ? systemArch_ : SystemArch();
          if (a == Arch::kUnknown || (expected != Arch::kUnknown && a != expected)) {
            closeSection(reader.lineStart());
            return;
          }
          if (isSystem) systemArch_ = a;
        }
      }
    }
    closeSection(hive->text.size());
  }

  // The key a `[name] time` header opens, or null for a malformed header.
  KeyInfo* HeaderKey(KeyInfo* base, const char* p) {
    U16 name;
    if (ParseStr(p, ']', &name) < 0) return nullptr;
    if (name.empty() || name[0] == 0) return base;
    KeyInfo* key = base;
    std::size_t i = 0;
    while (i < name.size()) {
      std::size_t j = name.find(u'\\', i);
      if (j == U16::npos) j = name.size();
      if (j - i > kMaxKeyNameLen) return nullptr;  // the server refuses it
      if (j > i) key = AddKey(key, name.substr(i, j - i));
      i = j + 1;
    }
    return key;
  }

  bool ReadHive(Hive* hive) {
    if (hive->loaded) return false;
    hive->loaded = true;
    return ReadWholeFile(dir_ + "/" + hive->file, &hive->text);
  }

  void LoadSystem() {
    if (system_.loaded) return;
    bool present = ReadHive(&system_);
    LoadHive(&system_, machine_, true);
    if (!present) {
      const char* arch = std::getenv("WINEARCH");
      systemArch_ = arch && std::strcmp(arch, "win32") == 0 ? Arch::kWin32 : Arch::kWin64;
      return;
    }
    if (systemArch_ == Arch::kUnknown) systemArch_ = Arch::kWin32;
    if (!system_.valid) return;
    // Keys wineserver creates at startup whatever the file holds.
    KeyInfo* machine = machine_;
    if (systemArch_ == Arch::kWin64) {
      AddKey(AddKey(AddKey(machine, u"Software"), u"Classes"), u"Wow6432Node");
    }
    KeyInfo* k = machine;
    for (const char16_t* n :
         {u"Software", u"Microsoft", u"Windows NT", u"CurrentVersion", u"Perflib", u"009"}) {
      k = AddKey(k, n);
    }
  }

  Arch SystemArch() {
    LoadSystem();
    return systemArch_;
  }

  void LoadUserDef() {
    if (userdef_.loaded) return;
    ReadHive(&userdef_);
    LoadHive(&userdef_, userDefault_, false);
  }

  // user.reg names its SID in the comment that says what its keys are
  // relative to; wineserver itself always uses the same one.
  void LoadUser() {
    if (user_.loaded) return;
    ReadHive(&user_);
    sid_ = WidenAnsi(kDefaultUserSid);
    LineReader reader(user_.text, 0, user_.text.size());
    std::string line;
    static const char kRelative[] = ";; All keys relative to ";
    while (reader.Next(&line)) {
      const char* p = SkipSpace(line.c_str());
      if (*p == '[') break;
      if (std::strncmp(p, kRelative, sizeof kRelative - 1) != 0) continue;
      U16 path;
      if (ParseStr((std::string(p + sizeof kRelative - 1) + '\n').c_str(), '\n', &path) < 0)
        continue;
      static const U16 kPrefix = u"registry\\user\\";
      U16 folded = FoldCase(path);
      if (folded.compare(0, kPrefix.size(), kPrefix) == 0 && path.size() > kPrefix.size() &&
          path.find(u'\\', kPrefix.size()) == U16::npos) {
        sid_ = path.substr(kPrefix.size());
      }
      break;
    }
    KeyInfo* key = AddKey(users_, sid_);
    LoadHive(&user_, key, false);
  }

  const U16& UserSid() {
    LoadUser();
    return sid_;
  }

  std::string dir_;
  std::unordered_map<ChildName, KeyInfo, ChildNameHash> keys_;
  KeyInfo* root_ = nullptr;
  KeyInfo* machine_ = nullptr;
  KeyInfo* users_ = nullptr;
  KeyInfo* userDefault_ = nullptr;
  Hive system_, userdef_, user_;
  Arch systemArch_ = Arch::kUnknown;
  U16 sid_;
};

WinePrefixStore::WinePrefixStore(std::string prefixDir)
    : impl_(std::make_unique<Impl>(std::move(prefixDir))) {}
WinePrefixStore::~WinePrefixStore() = default;

bool WinePrefixStore::RootPath(std::uint32_t root, std::string* path) {
  return impl_->RootPath(root, path);
}
bool WinePrefixStore::OpenKey(const std::string& parent, const std::string& subKey,
                              std::string* path) {
  return impl_->OpenKey(parent, subKey, path);
}
bool WinePrefixStore::QueryValue(const std::string& path, const std::string& name,
                                 StoredValue* value) {
  return impl_->QueryValue(path, name, value);
}

}  // namespace platform
