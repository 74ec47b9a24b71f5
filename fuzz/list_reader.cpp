// List files of any bytes, read line by line as the driver reads them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "RunTime/text_stream.h"
#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = WriteScratchFile("list.txt", bytes);
  std::vector<std::string> lines;
  std::size_t total = 0;
  {
    TTextStream list;
    list.OpenRead(path);
    while (!list.AtEndOfText()) {
      lines.push_back(list.ReadLine());
      total += lines.back().size();
      FUZZ_CHECK(lines.back().find('\n') == std::string::npos, "no line holds LF");
      FUZZ_CHECK(lines.back().find('\r') == std::string::npos, "no line holds CR");
      FUZZ_CHECK(lines.back().find('\x1A') == std::string::npos, "Ctrl-Z ends a line's text");
      FUZZ_CHECK(total <= size, "lines hold only bytes of the file");
      FUZZ_CHECK(lines.size() <= size, "each line takes at least one byte");
    }
    list.Close();
  }
  // The same file in parts of at most `limit` bytes, as the driver copies an
  // overlong line through: each line's parts join to what ReadLine gave.
  const std::size_t limit = 1 + (size == 0 ? 0 : data[0] % 7);
  {
    TTextStream list;
    list.OpenRead(path);
    std::size_t index = 0;
    while (!list.AtEndOfText()) {
      FUZZ_CHECK(index < lines.size(), "parts give no more lines than ReadLine");
      std::string line;
      for (;;) {
        std::string part;
        const bool ended = list.ReadLinePart(part, limit);
        FUZZ_CHECK(part.size() <= limit, "a part holds at most its limit");
        FUZZ_CHECK(ended || part.size() == limit, "only a full part leaves the line open");
        if (!line.empty()) FUZZ_CHECK(!part.empty(), "an open line has more text");
        line += part;
        if (ended) break;
      }
      FUZZ_CHECK(line == lines[index], "a line's parts join to what ReadLine gives");
      ++index;
    }
    FUZZ_CHECK(index == lines.size(), "parts give every line ReadLine gave");
    list.Close();
  }
  // Without Ctrl-Z, the lines are the file's text split at LF, with their
  // CRs dropped; a last LF ends the last line. A UTF-8 mark is passed over;
  // UTF-16 text is read unit by unit.
  if (bytes.find('\x1A') != std::string::npos || bytes.compare(0, 2, "\xFF\xFE") == 0) return 0;
  std::string expected = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
  const bool hasText = !expected.empty();
  if (!expected.empty() && expected.back() == '\n') expected.pop_back();
  expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined += '\n';
    joined += lines[i];
  }
  FUZZ_CHECK(joined == expected, "every byte but CR comes back, line by line");
  FUZZ_CHECK(lines.empty() != hasText, "a file with text has a line");
  return 0;
}
