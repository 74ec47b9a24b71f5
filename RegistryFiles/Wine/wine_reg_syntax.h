// The line syntax of Wine's registry files, parsed byte for byte as
// wineserver's loader (server/registry.c) parses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Platform/charset_posix.h"

namespace platform {
namespace wine {

bool IsSpace(char c);
const char* SkipSpace(const char* p);

// Unescapes up to `endchar` as parse_strW does. `src` is NUL-terminated.
// Returns the bytes consumed including the delimiter, or -1 when it is
// missing.
int ParseStr(const char* src, char endchar, U16* out);

// Parses `"name"=` or `@=`. Returns the offset of the data, or 0 when the
// line names no value (the loader then skips it entirely).
std::size_t ParseValueName(const char* buffer, U16* name);

// The lines of a file as the loader's fgets and strlen see them: a NUL ends
// a line's text, "\r\n" counts as a newline.
class LineReader {
 public:
  LineReader(const char* text, std::size_t pos, std::size_t end)
      : text_(text), pos_(pos), end_(end) {}

  // The next line's bytes [*start, *stop), newline excluded, nothing cut.
  bool NextSpan(std::size_t* start, std::size_t* stop);
  // The next line's text, cut as the loader cuts it.
  bool Next(std::string* line);
  // The text of the span [start, stop) that NextSpan gave.
  void Text(std::size_t start, std::size_t stop, std::string* line) const;
  std::size_t pos() const { return pos_; }
  // Goes on at `pos`, a line start.
  void Seek(std::size_t pos) { pos_ = pos; }
  std::size_t lineStart() const { return start_; }

 private:
  const char* text_;
  std::size_t pos_;
  std::size_t end_;
  std::size_t start_ = 0;
};

struct RawValue {
  std::uint32_t type = 0;
  std::string data;  // strings as UTF-16LE, as the server holds them
};

// Decodes the data after `name=`, reading continuation lines from `more`.
// A value whose data does not parse still exists, as REG_NONE with no data.
RawValue DecodeData(const char* buffer, LineReader* more);

// Consumes the continuation lines of the value line `p`: only a hex value
// whose line reaches a backslash has any.
void SkipContinuations(const char* p, LineReader* reader);
// False when the line [p, p + n) cannot have continuation lines (it holds no
// backslash, or no hex tag).
bool MayContinue(const char* p, std::size_t n);
// Where the lines of a section that starts at `pos` (a line start) stop
// mattering to the key index: the start of the next line opening with '['
// (or `end`) when no line before it can continue onto the next or is a
// #link or #arch line; else `pos` itself, to read them one by one.
std::size_t SkipQuietLines(const char* text, std::size_t pos, std::size_t end);
// Where the first line opening with '[' after `pos` (a line start) starts,
// when the loader is sure to read it as a header whatever the lines before
// it are: the line before it holds no backslash, so no data continues onto
// it. Else `pos`, to read the lines one by one; `end` when there is none.
std::size_t NextHeaderLine(const char* text, std::size_t pos, std::size_t end);

}  // namespace wine
}  // namespace platform
