// Hives built cell by cell, with free cells holding whatever a test needs:
// the crafted cases of the deleted-record tests, the fuzzer's seeds and the
// benchmark's hive.
#pragma once

#include <cstdint>
#include <string>

namespace hivefix {

constexpr std::uint32_t kNoCell = 0xFFFFFFFF;
constexpr std::uint64_t kFixtureTime = 0x01D2A1C0DE000000ull;  // a FILETIME in 2017

// UTF-16LE bytes of `text`.
std::string Utf16Bytes(const std::u16string& text);

// A key node's body: the name stored in Latin-1 (compressed) when every
// character fits, else in UTF-16LE.
std::string KeyNode(const std::u16string& name, std::uint32_t parent, std::uint32_t values = 0,
                    std::uint32_t valueList = kNoCell, std::uint16_t flags = 0);
// A value key's body; `length` and `data` as the record stores them.
std::string ValueKey(const std::u16string& name, std::uint32_t type, std::uint32_t length,
                     std::uint32_t data);
std::string Le32Bytes(std::uint32_t v);
// `stem` followed by the decimal digits of `n`.
std::u16string Numbered(const char16_t* stem, std::size_t n);

// Cells one after another in one hive bin; offsets count from the bin.
class CellWriter {
 public:
  // A cell holding `body`, of `size` bytes (0: the least that holds it),
  // allocated or free. Returns its offset.
  std::uint32_t Add(const std::string& body, bool allocated, std::uint32_t size = 0);
  // Overwrites 4 bytes of the body of the cell at `cell`.
  void Patch(std::uint32_t cell, std::size_t at, std::uint32_t v);
  std::uint32_t Next() const { return static_cast<std::uint32_t>(32 + cells_.size()); }
  // The whole file: base block (minor version 5), the bin closed by a free
  // cell, then `after` past the bins.
  std::string Hive(std::uint32_t root, const std::string& after = "") const;

 private:
  std::string cells_;
};

}  // namespace hivefix
