// Buffered text streams over platform files, with CR LF line ends. Every
// operation is checked at once and raises EInOutError on failure.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/file.h"

class TTextStream {
 public:
  static constexpr std::size_t kBufferSize = 128;

  TTextStream() = default;
  ~TTextStream();
  TTextStream(const TTextStream&) = delete;
  TTextStream& operator=(const TTextStream&) = delete;

  // Standard input for reading, or standard output for writing.
  void OpenStandard(platform::StdStream which);
  // An existing file for reading. A byte order mark at its start is passed
  // over: after FF FE the text is UTF-16LE, read as text in the ANSI code
  // page; after EF BB BF it is UTF-8, which Utf8Marked() tells.
  void OpenRead(const std::string& name);
  bool Utf8Marked() const { return encoding_ == Encoding::kUtf8; }
  // A file for writing at its end, created when absent. When a write to it
  // fails, the file is cut back to the last line end that reached it, never
  // below its size at opening: a torn last line is a corrupted record.
  void OpenAppend(const std::string& name);

  void Write(const std::string& text);
  // A record that ends with its own line end: cut back like a line.
  void WriteRecord(const std::string& record);
  // Whole records in one write, after what is buffered; `ends` are the
  // offsets, in order, just past each record. A failed write is cut back to
  // the end of the last record that reached the file.
  void WriteRecords(const std::string& records, const std::vector<std::size_t>& ends);
  // Whether the file held nothing when it was opened for appending (a
  // device never does).
  bool OpenedEmpty() const { return cutOnFailure_ && openedSize_ == 0; }
  // Whether it is a file on a disk, not a pipe, socket or terminal.
  bool IsDiskFile() const { return cutOnFailure_; }
  // The text, then CR LF; on standard output the platform's console line end.
  void WriteLine(const std::string& text);
  void Flush();
  // Flushes what is buffered, then closes; checked like every operation.
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }

  // True at the end of the file and before a Ctrl-Z.
  bool AtEndOfText();
  // One line, ended by LF or CR LF (not part of the text); a lone CR is
  // dropped and a Ctrl-Z ends the line's text.
  std::string ReadLine();
  // Appends the line's next text to `part`, at most `limit` bytes of it:
  // true when the line has ended, false when more of its text follows
  // (the next call goes on with it).
  bool ReadLinePart(std::string& part, std::size_t limit);

 private:
  enum class Mode { kClosed, kRead, kWrite };
  enum class Encoding { kBytes, kUtf8, kUtf16 };

  void Open(platform::File file, Mode mode, const std::string& what);
  void FlushBuffer();
  bool WriteBuffer();  // false on failure; empties the buffer either way
  // After a write of which `done` bytes reached the file, the first
  // `lastEnd` of them ending a line (0: none): remembers that end, and on
  // failure cuts the file back to the last one. Returns `ok`.
  bool Settle(bool ok, std::size_t done, std::size_t lastEnd);
  bool FillBuffer();  // false at the end of the file
  void PassByteOrderMark();
  bool PeekUnit(char16_t* unit);  // UTF-16: false at the end of the file
  bool ReadUnitsPart(std::string& part, std::size_t limit);
  [[noreturn]] void Fail(const std::string& what) const;

  platform::File file_;
  Mode mode_ = Mode::kClosed;
  std::string name_;
  bool flushAtLineEnd_ = false;
  const char* lineEnd_ = "\r\n";
  char buffer_[kBufferSize] = {};
  std::size_t pos_ = 0;    // next byte to read, or bytes buffered for writing
  std::size_t end_ = 0;    // bytes in the read buffer
  bool skipping_ = false;  // reading: after a Ctrl-Z, the line's rest is no text
  Encoding encoding_ = Encoding::kBytes;
  // The output file: its size as written so far, the end of the last line
  // that reached it, and which buffer positions end a line.
  bool cutOnFailure_ = false;
  std::uint64_t written_ = 0;
  std::uint64_t openedSize_ = 0;
  std::uint64_t lastLineEnd_ = 0;
  std::bitset<kBufferSize + 1> lineEnds_;
};
