// The floor of the output path: reads a list file and writes, for each of its
// lines, the next line of already rendered text, with the tool's buffer sizes
// (128-byte reads of the list, 128-byte writes to the file and to standard
// output). No parsing, no registry, no conversion.
// Usage: bench_output_floor LIST FILE_TEXT CONSOLE_TEXT|- OUTPUT
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t kBufferSize = 128;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ > 2) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool ReadAll(const char* name, std::string* out) {
  Fd fd(open(name, O_RDONLY));
  if (fd.get() < 0) return false;
  char chunk[1 << 16];
  for (ssize_t n; (n = read(fd.get(), chunk, sizeof chunk)) > 0;) out->append(chunk, n);
  return true;
}

// 128 bytes buffered, as the tool's text streams.
class Writer {
 public:
  explicit Writer(int fd) : fd_(fd) {}
  ~Writer() { Flush(); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  void Write(const char* data, std::size_t size) {
    while (size > 0) {
      if (used_ == kBufferSize) Flush();
      const std::size_t n = std::min(size, kBufferSize - used_);
      std::memcpy(buffer_ + used_, data, n);
      used_ += n;
      data += n;
      size -= n;
    }
  }
  void Flush() {
    if (used_ > 0 && write(fd_, buffer_, used_) != static_cast<ssize_t>(used_)) ok_ = false;
    used_ = 0;
  }
  bool ok() const { return ok_; }

 private:
  int fd_;
  char buffer_[kBufferSize];
  std::size_t used_ = 0;
  bool ok_ = true;
};

// Writes the next CR LF-ended line of `text` from `*pos`.
void NextLine(const std::string& text, std::size_t* pos, Writer* out) {
  if (*pos >= text.size()) return;
  std::size_t end = text.find("\r\n", *pos);
  end = end == std::string::npos ? text.size() : end + 2;
  out->Write(text.data() + *pos, end - *pos);
  *pos = end;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s LIST FILE_TEXT CONSOLE_TEXT|- OUTPUT\n", argv[0]);
    return 2;
  }
  std::string fileText, consoleText;
  const bool echo = std::strcmp(argv[3], "-") != 0;
  if (!ReadAll(argv[2], &fileText) || (echo && !ReadAll(argv[3], &consoleText))) return 2;
  Fd list(open(argv[1], O_RDONLY));
  Fd output(open(argv[4], O_WRONLY | O_CREAT | O_APPEND, 0644));
  if (list.get() < 0 || output.get() < 0) return 2;
  std::size_t filePos = 0, consolePos = 0;
  {
    Writer file(output.get());
    Writer console(STDOUT_FILENO);
    char buffer[kBufferSize];
    for (ssize_t n; (n = read(list.get(), buffer, kBufferSize)) > 0;) {
      for (const char* p = buffer;
           (p = static_cast<const char*>(std::memchr(p, '\n', buffer + n - p))) != nullptr; ++p) {
        if (echo) NextLine(consoleText, &consolePos, &console);
        NextLine(fileText, &filePos, &file);
      }
    }
    // Whatever the lines did not take (a multi-line value) still goes out.
    if (echo) console.Write(consoleText.data() + consolePos, consoleText.size() - consolePos);
    file.Write(fileText.data() + filePos, fileText.size() - filePos);
    file.Flush();
    console.Flush();
    if (!file.ok() || !console.ok()) return 1;
  }
  return 0;
}
