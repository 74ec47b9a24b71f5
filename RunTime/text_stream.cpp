#include "RunTime/text_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "RunTime/exception.h"

namespace {
constexpr char kCtrlZ = '\x1A';
}

TTextStream::~TTextStream() {
  // Errors here have nowhere to go; Close() is the checked path.
  if (mode_ == Mode::kWrite && pos_ > 0) file_.Write(buffer_, pos_);
}

void TTextStream::Open(platform::File file, Mode mode, const std::string& what) {
  name_ = what;
  if (!file.IsOpen()) Fail("ouverture");
  file_ = std::move(file);
  mode_ = mode;
  pos_ = end_ = 0;
}

void TTextStream::OpenStandard(platform::StdStream which) {
  platform::File file = platform::File::Standard(which);
  if (which == platform::StdStream::kInput) {
    // Standard input is never read: a missing one is no failure.
    file_ = std::move(file);
    mode_ = Mode::kRead;
    name_ =
        "entr\xE9"
        "e standard";
    pos_ = end_ = 0;
    return;
  }
  // A standard output the platform cannot type is no stream to write to.
  name_ = "sortie standard";
  const platform::FileType type = file.Type();
  if (type == platform::FileType::kUnknown) Fail("ouverture");
  Open(std::move(file), Mode::kWrite, name_);
  // A console shows each line as soon as it is complete.
  flushAtLineEnd_ = type == platform::FileType::kChar;
}

void TTextStream::OpenRead(const std::string& name) {
  Open(platform::File::OpenRead(name), Mode::kRead, name);
}

void TTextStream::OpenAppend(const std::string& name) {
  Open(platform::File::OpenAppend(name), Mode::kWrite, name);
}

void TTextStream::Fail(const std::string& what) const {
  throw EInOutError(
      "Erreur d'entr\xE9"
      "e/sortie (" +
      what + ") : " + name_);
}

void TTextStream::Write(const std::string& text) {
  if (mode_ != Mode::kWrite)
    Fail(
        "\xE9"
        "criture");
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    if (pos_ == kBufferSize) FlushBuffer();
    const std::size_t n = std::min(left, kBufferSize - pos_);
    std::memcpy(buffer_ + pos_, data, n);
    pos_ += n;
    data += n;
    left -= n;
  }
}

void TTextStream::WriteLine(const std::string& text) {
  Write(text);
  Write("\r\n");
  if (flushAtLineEnd_) FlushBuffer();
}

void TTextStream::FlushBuffer() {
  if (pos_ == 0) return;
  const std::size_t n = pos_;
  pos_ = 0;  // a failed write is not retried by the destructor
  if (!file_.Write(buffer_, n))
    Fail(
        "\xE9"
        "criture");
}

void TTextStream::Flush() {
  if (mode_ != Mode::kWrite)
    Fail(
        "\xE9"
        "criture");
  FlushBuffer();
}

void TTextStream::Close() {
  if (mode_ == Mode::kClosed) Fail("fermeture");
  const Mode mode = mode_;
  mode_ = Mode::kClosed;
  if (mode == Mode::kWrite && pos_ > 0) {
    const std::size_t n = pos_;
    pos_ = 0;
    if (!file_.Write(buffer_, n)) {
      file_.Close();
      Fail(
          "\xE9"
          "criture");
    }
  }
  if (!file_.Close()) Fail("fermeture");
}

bool TTextStream::FillBuffer() {
  if (mode_ != Mode::kRead) Fail("lecture");
  std::size_t done = 0;
  if (!file_.Read(buffer_, kBufferSize, &done)) Fail("lecture");
  pos_ = 0;
  end_ = done;
  return done > 0;
}

bool TTextStream::AtEndOfText() {
  if (pos_ == end_ && !FillBuffer()) return true;
  return buffer_[pos_] == kCtrlZ;
}

std::string TTextStream::ReadLine() {
  std::string line;
  bool skipping = false;  // after a Ctrl-Z, the rest of the line is not text
  for (;;) {
    if (pos_ == end_ && !FillBuffer()) return line;
    const char c = buffer_[pos_];
    if (c == '\n') {
      ++pos_;
      return line;
    }
    if (c == kCtrlZ) {
      if (skipping) return line;  // a second Ctrl-Z ends the text here
      skipping = true;
    } else if (c != '\r' && !skipping) {
      line += c;
    }
    ++pos_;
  }
}
