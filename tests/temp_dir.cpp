#include "tests/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path dir = fs::temp_directory_path() /
                       ("hivtap-test-" + std::to_string(stamp) + "-" + std::to_string(++counter));
  fs::create_directories(dir);
  dir_ = dir.string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

std::string TempDir::Path(const std::string& name) const {
  return (fs::path(dir_) / name).string();
}

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(Path(name), std::ios::binary);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + name);
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + name);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
