#include "RunTime/text_stream.h"

#include <gtest/gtest.h>

#include <vector>

#include "Base/exception.h"
#include "tests/temp_dir.h"

namespace {

std::vector<std::string> ReadLines(const std::string& bytes) {
  TempDir dir;
  dir.Write("list.txt", bytes);
  TTextStream stream;
  stream.OpenRead(dir.Path("list.txt"));
  std::vector<std::string> lines;
  while (!stream.AtEndOfText()) lines.push_back(stream.ReadLine());
  stream.Close();
  return lines;
}

using Lines = std::vector<std::string>;

TEST(TextStreamRead, LineEnds) {
  EXPECT_EQ(ReadLines(""), Lines());
  EXPECT_EQ(ReadLines("\r\n"), Lines({""}));
  EXPECT_EQ(ReadLines(";c\r\n\r\nHKCU\\a\\b\r\n"), Lines({";c", "", "HKCU\\a\\b"}));
  EXPECT_EQ(ReadLines("a\nb\nc"), Lines({"a", "b", "c"}));
  EXPECT_EQ(ReadLines("ab\rcd\r\n\r"), Lines({"abcd", ""}));
}

TEST(TextStreamRead, CtrlZEndsText) {
  EXPECT_EQ(ReadLines("a\r\n\x1A"), Lines({"a"}));
  EXPECT_EQ(ReadLines("a\r\n\x1A"
                      "b\r\nc\r\n"),
            Lines({"a"}));
  // Inside a line it ends the line's text; the next line is read.
  EXPECT_EQ(ReadLines("HKCU\\a\x1Arest\r\nnext\r\n"), Lines({"HKCU\\a", "next"}));
  // A second one in the skipped rest ends the reading.
  EXPECT_EQ(ReadLines("a\x1Ax\x1Ay\r\nnext\r\n"), Lines({"a"}));
}

TEST(TextStreamRead, ByteOrderMarks) {
  // UTF-16LE text comes out in the ANSI code page (Windows-1252 here).
  const std::string bom16 = "\xFF\xFE";
  EXPECT_EQ(ReadLines(bom16), Lines());
  EXPECT_EQ(ReadLines(bom16 + std::string("a\0\r\0\n\0\xE9\0S\x01", 10)), Lines({"a", "\xE9\x9C"}));
  // Ctrl-Z as a unit; an odd last byte is no character.
  EXPECT_EQ(ReadLines(bom16 + std::string("a\0\x1A\0b\0\n\0c\0\n\0\x1A\0d\0", 16)),
            Lines({"a", "c"}));
  EXPECT_EQ(ReadLines(bom16 + std::string("a\0b", 3)), Lines({"a"}));
  // The UTF-8 mark is passed over; a mark elsewhere is text.
  EXPECT_EQ(ReadLines("\xEF\xBB\xBF"), Lines());
  EXPECT_EQ(ReadLines("\xEF\xBB\xBF"
                      "HKCU\\a\r\n\xEF\xBB\xBF"
                      "b"),
            Lines({"HKCU\\a",
                   "\xEF\xBB\xBF"
                   "b"}));
  EXPECT_EQ(ReadLines("\xFE\xFF"
                      "a"),
            Lines({"\xFE\xFF"
                   "a"}));
}

TEST(TextStreamRead, LinesLongerThanTheBuffer) {
  const std::string longLine(1000, 'x');
  EXPECT_EQ(ReadLines(longLine + "\r\n" + longLine), Lines({longLine, longLine}));
  // A CR LF split across two buffer fills is still one line end.
  const std::string edge(TTextStream::kBufferSize - 1, 'y');
  EXPECT_EQ(ReadLines(edge + "\r\nz"), Lines({edge, "z"}));
}

// Each line as the parts ReadLinePart gives with `limit`, "|" between.
std::vector<std::string> ReadParts(const std::string& bytes, std::size_t limit) {
  TempDir dir;
  dir.Write("list.txt", bytes);
  TTextStream stream;
  stream.OpenRead(dir.Path("list.txt"));
  std::vector<std::string> lines;
  while (!stream.AtEndOfText()) {
    std::string line;
    std::string part;
    while (!stream.ReadLinePart(part, limit)) {
      line += part + "|";
      part.clear();
    }
    lines.push_back(line + part);
  }
  stream.Close();
  return lines;
}

TEST(TextStreamRead, LinePartsOfAtMostTheLimit) {
  // A line of exactly the limit is whole; a longer one comes in parts.
  EXPECT_EQ(ReadParts("abc\r\nabcd\nabcdefg", 3), Lines({"abc", "abc|d", "abc|def|g"}));
  // Dropped bytes count for nothing, and a Ctrl-Z keeps skipping across
  // parts up to the line end.
  EXPECT_EQ(ReadParts("ab\r\r\rc\r\nab\x1A"
                      "cdef\r\nx\r\n",
                      3),
            Lines({"abc", "ab", "x"}));
  EXPECT_EQ(ReadParts("abcd\x1Ax\x1Ay\r\nnext\r\n", 2), Lines({"ab|cd"}));
}

TEST(TextStreamWrite, AppendKeepsEveryOldByte) {
  TempDir dir;
  dir.Write("out.txt", "old\x1A");
  TTextStream stream;
  stream.OpenAppend(dir.Path("out.txt"));
  const std::string longText(300, 'q');
  stream.WriteLine("new");
  stream.WriteLine(longText);
  stream.Close();
  EXPECT_EQ(dir.Read("out.txt"), "old\x1Anew\r\n" + longText + "\r\n");
}

TEST(TextStreamWrite, CreatesMissingFile) {
  TempDir dir;
  TTextStream stream;
  stream.OpenAppend(dir.Path("new.txt"));
  stream.Close();
  EXPECT_EQ(dir.Read("new.txt"), "");
}

TEST(TextStreamFailure, OpenFailuresRaise) {
  TempDir dir;
  TTextStream stream;
  EXPECT_THROW(stream.OpenRead(dir.Path("missing.txt")), EInOutError);
  EXPECT_THROW(stream.OpenAppend(dir.Path("no-such-dir/out.txt")), EInOutError);
  // A name the platform could only take cut short is refused, not cut.
  const std::string longName(260, 'n');
  EXPECT_THROW(stream.OpenAppend(dir.Path(longName)), EInOutError);
  EXPECT_THROW(stream.WriteLine("x"), EInOutError);
}

TEST(TextStreamFailure, OutputFileIsNotOpenForReadingMeanwhile) {
  TempDir dir;
  TTextStream out;
  out.OpenAppend(dir.Path("same.txt"));
  TTextStream list;
  EXPECT_THROW(list.OpenRead(dir.Path("same.txt")), EInOutError);
  TTextStream second;
  EXPECT_THROW(second.OpenAppend(dir.Path("same.txt")), EInOutError);
  out.Close();
}

}  // namespace
