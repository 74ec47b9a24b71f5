// Buffered text streams over platform files, with CR LF line ends. Every
// operation is checked at once and raises EInOutError on failure.
#pragma once

#include <cstddef>
#include <string>

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
  // An existing file for reading.
  void OpenRead(const std::string& name);
  // A file for writing at its end, created when absent.
  void OpenAppend(const std::string& name);

  void Write(const std::string& text);
  void WriteLine(const std::string& text);  // text, then CR LF
  void Flush();
  // Flushes what is buffered, then closes; checked like every operation.
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }

  // True at the end of the file and before a Ctrl-Z.
  bool AtEndOfText();
  // One line, ended by LF or CR LF (not part of the text); a lone CR is
  // dropped and a Ctrl-Z ends the line's text.
  std::string ReadLine();

 private:
  enum class Mode { kClosed, kRead, kWrite };

  void Open(platform::File file, Mode mode, const std::string& what);
  void FlushBuffer();
  bool FillBuffer();  // false at the end of the file
  [[noreturn]] void Fail(const std::string& what) const;

  platform::File file_;
  Mode mode_ = Mode::kClosed;
  std::string name_;
  bool flushAtLineEnd_ = false;
  char buffer_[kBufferSize] = {};
  std::size_t pos_ = 0;  // next byte to read, or bytes buffered for writing
  std::size_t end_ = 0;  // bytes in the read buffer
};
