#include "fuzz/support/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include <sanitizer/common_interface_defs.h>

#include "Platform/registry_store.h"
#include "tests/memory_store.h"

namespace fs = std::filesystem;

namespace {

struct Scratch {
  std::string dir;
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "hivtap-fuzz.XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    dir = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
};

}  // namespace

void FuzzViolation(const char* condition, const std::string& what, const char* file, int line) {
  std::fprintf(stderr, "\n== property violated at %s:%d: %s\n   (%s)\n", file, line, what.c_str(),
               condition);
  // Also where the sanitizers report, for targets run with stderr closed
  // (-close_fd_mask=2).
  const std::string summary = "property violated: " + what;
  __sanitizer_report_error_summary(summary.c_str());
  // libFuzzer saves the input as a crash on abort.
  std::abort();
}

const std::string& ScratchDir() {
  static Scratch scratch;
  return scratch.dir;
}

std::string WriteScratchFile(const std::string& name, const std::string& bytes) {
  const std::string path = ScratchDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string ReadScratchFile(const std::string& name) {
  std::ifstream in(ScratchDir() + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void RemoveScratchFile(const std::string& name) {
  std::error_code ignored;
  fs::remove(ScratchDir() + "/" + name, ignored);
}

std::string MemoryRootPath(std::uint32_t root) {
  if (root == 0x80000001) return MemoryStore::kUserRoot;
  return "\\Registry\\Root" + std::to_string(root & 0xF);
}

MemoryStore& InstallMemoryStore() {
  auto store = std::make_unique<MemoryStore>();
  MemoryStore& result = *store;
  for (std::uint32_t root = 0x80000000; root <= 0x80000006; ++root) {
    result.AddRoot(root, MemoryRootPath(root));
  }
  platform::SetRegistryStore(std::move(store));
  return result;
}

std::uint8_t FuzzInput::Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

std::uint32_t FuzzInput::Word() {
  std::uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word |= static_cast<std::uint32_t>(Byte()) << (8 * i);
  return word;
}

std::string FuzzInput::ShortString(std::size_t maxLength) {
  std::size_t length = Byte() % (maxLength + 1);
  if (length > size_ - pos_) length = size_ - pos_;
  std::string text(reinterpret_cast<const char*>(data_ + pos_), length);
  pos_ += length;
  return text;
}

std::string FuzzInput::Rest() {
  std::string text(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
  pos_ = size_;
  return text;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const char c : bytes) {
    text += kDigits[static_cast<unsigned char>(c) >> 4];
    text += kDigits[c & 0x0F];
  }
  return text;
}
