#include "RunTime/text_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "Base/exception.h"
#include "Platform/codepage.h"
#include "Platform/interrupt.h"

namespace {
constexpr char kCtrlZ = '\x1A';

// The bytes a line reader must look at one by one.
bool IsSpecial(char c) { return c == '\n' || c == '\r' || c == kCtrlZ; }
}  // namespace

TTextStream::~TTextStream() {
  // Errors here have nowhere to go; Close() is the checked path.
  if (mode_ == Mode::kWrite && pos_ > 0) WriteBuffer();
  if (cutOnFailure_) platform::NoCutOnInterrupt();
}

void TTextStream::Open(platform::File file, Mode mode, const std::string& what) {
  name_ = what;
  if (!file.IsOpen()) Fail("ouverture");
  file_ = std::move(file);
  mode_ = mode;
  pos_ = end_ = 0;
  skipping_ = cutOnFailure_ = false;
  encoding_ = Encoding::kBytes;
  lineEnd_ = "\r\n";
  lineEnds_.reset();
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
  lineEnd_ = platform::ConsoleLineEnd();
}

void TTextStream::OpenRead(const std::string& name) {
  Open(platform::File::OpenRead(name), Mode::kRead, name);
  PassByteOrderMark();
}

// Notepad marks UTF-8 files, and PowerShell 5 writes UTF-16LE ones.
void TTextStream::PassByteOrderMark() {
  if (!FillBuffer()) return;
  if (end_ >= 3 && std::memcmp(buffer_, "\xEF\xBB\xBF", 3) == 0) {
    pos_ = 3;
    encoding_ = Encoding::kUtf8;
  } else if (end_ >= 2 && std::memcmp(buffer_, "\xFF\xFE", 2) == 0) {
    pos_ = 2;
    encoding_ = Encoding::kUtf16;
  }
}

void TTextStream::OpenAppend(const std::string& name) {
  Open(platform::File::OpenAppend(name), Mode::kWrite, name);
  // A file whose size is unknown (a device) is never cut.
  cutOnFailure_ = file_.Size(&written_);
  lastLineEnd_ = written_;
  openedSize_ = written_;
  // An interrupt cuts it back the same way.
  if (cutOnFailure_) platform::CutOnInterrupt(file_, lastLineEnd_);
}

void TTextStream::Fail(const std::string& what) const {
  throw EInOutError(
      "Erreur d'entr\xE9"
      "e/sortie (" +
          what + ") : " + name_,
      name_, platform::LastFileError());
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
  Write(lineEnd_);
  lineEnds_.set(pos_);
  if (flushAtLineEnd_) FlushBuffer();
}

void TTextStream::WriteRecord(const std::string& record) {
  Write(record);
  lineEnds_.set(pos_);
  if (flushAtLineEnd_) FlushBuffer();
}

bool TTextStream::WriteBuffer() {
  const std::size_t n = pos_;
  pos_ = 0;  // a failed write is not retried by the destructor
  std::size_t done = 0;
  const bool ok = file_.Write(buffer_, n, &done);
  std::size_t lastEnd = 0;
  for (std::size_t i = done; i > 0 && lastEnd == 0; --i) {
    if (lineEnds_[i]) lastEnd = i;
  }
  lineEnds_.reset();
  return Settle(ok, done, lastEnd);
}

void TTextStream::WriteRecords(const std::string& records, const std::vector<std::size_t>& ends) {
  if (mode_ != Mode::kWrite)
    Fail(
        "\xE9"
        "criture");
  FlushBuffer();
  if (records.empty()) return;
  std::size_t done = 0;
  const bool ok = file_.Write(records.data(), records.size(), &done);
  const auto after = std::upper_bound(ends.begin(), ends.end(), done);
  if (!Settle(ok, done, after == ends.begin() ? 0 : *(after - 1)))
    Fail(
        "\xE9"
        "criture");
}

bool TTextStream::Settle(bool ok, std::size_t done, std::size_t lastEnd) {
  if (lastEnd > 0) {
    lastLineEnd_ = written_ + lastEnd;
    if (cutOnFailure_) platform::CutOnInterrupt(file_, lastLineEnd_);
  }
  written_ += done;
  if (!ok && cutOnFailure_ && written_ > lastLineEnd_ && file_.Truncate(lastLineEnd_)) {
    written_ = lastLineEnd_;
  }
  return ok;
}

void TTextStream::FlushBuffer() {
  if (pos_ == 0) return;
  if (!WriteBuffer())
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
    if (!WriteBuffer()) {
      if (cutOnFailure_) platform::NoCutOnInterrupt();
      file_.Close();
      Fail(
          "\xE9"
          "criture");
    }
  }
  if (cutOnFailure_) platform::NoCutOnInterrupt();
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
  if (encoding_ == Encoding::kUtf16) {
    char16_t unit = 0;
    return !PeekUnit(&unit) || unit == kCtrlZ;
  }
  if (pos_ == end_ && !FillBuffer()) return true;
  return buffer_[pos_] == kCtrlZ;
}

bool TTextStream::PeekUnit(char16_t* unit) {
  while (end_ - pos_ < 2) {
    // A unit may straddle two reads: its first byte moves to the front.
    const std::size_t keep = end_ - pos_;
    if (keep > 0) buffer_[0] = buffer_[pos_];
    std::size_t done = 0;
    if (!file_.Read(buffer_ + keep, kBufferSize - keep, &done)) Fail("lecture");
    pos_ = 0;
    end_ = keep + done;
    if (done == 0) return false;  // an odd last byte is no character
  }
  *unit = static_cast<char16_t>(static_cast<unsigned char>(buffer_[pos_]) |
                                static_cast<unsigned char>(buffer_[pos_ + 1]) << 8);
  return true;
}

// ReadLinePart for UTF-16LE text: the same rules, unit by unit, and at most
// `limit` units of text a part.
bool TTextStream::ReadUnitsPart(std::string& part, std::size_t limit) {
  std::u16string units;
  bool ended = true;
  char16_t unit = 0;
  while (PeekUnit(&unit)) {
    if (unit == u'\n') {
      pos_ += 2;
      break;
    }
    if (unit == kCtrlZ) {
      if (skipping_) break;
      skipping_ = true;
    } else if (unit != u'\r' && !skipping_) {
      if (units.size() == limit) {
        ended = false;
        break;
      }
      units.push_back(unit);
    }
    pos_ += 2;
  }
  if (ended) skipping_ = false;
  part += platform::WideToAnsi(units);
  return ended;
}

std::string TTextStream::ReadLine() {
  std::string line;
  ReadLinePart(line, line.max_size());
  return line;
}

bool TTextStream::ReadLinePart(std::string& part, std::size_t limit) {
  if (encoding_ == Encoding::kUtf16) return ReadUnitsPart(part, limit);
  std::size_t taken = 0;
  for (;;) {
    if (pos_ == end_ && !FillBuffer()) break;
    const char c = buffer_[pos_];
    if (c == '\n') {
      ++pos_;
      break;
    }
    if (c == kCtrlZ) {
      if (skipping_) break;  // a second Ctrl-Z ends the text here
      skipping_ = true;
    } else if (c != '\r' && !skipping_) {
      if (taken == limit) return false;
      // The run of bytes up to the next special one goes over at once.
      std::size_t run = 1;
      while (pos_ + run < end_ && !IsSpecial(buffer_[pos_ + run])) ++run;
      const std::size_t n = std::min(run, limit - taken);
      part.append(buffer_ + pos_, n);
      taken += n;
      pos_ += n;
      if (n < run) return false;  // the next byte is over the limit
      continue;
    }
    ++pos_;
  }
  skipping_ = false;
  return true;
}
