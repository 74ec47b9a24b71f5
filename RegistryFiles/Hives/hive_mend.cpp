#include "RegistryFiles/Hives/hive_mend.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace platform {
namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kBinHeader = 32;
constexpr std::uint16_t kHiveEntry = 0x0004;  // the root key's flag

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PutLe32(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

bool IsBinAt(const std::string& bytes, std::size_t at) {
  return at + kBinHeader <= bytes.size() && bytes.compare(at, 4, "hbin") == 0 &&
         Le32(bytes, at + 4) == at - kPage;
}

std::size_t NextBin(const std::string& bytes, std::size_t from) {
  while (from < bytes.size() && !IsBinAt(bytes, from)) from += kPage;
  return from;
}

// The size of the cell at `at` when it is one a bin ending at `end` can hold.
bool CellFits(const std::string& bytes, std::size_t at, std::size_t end, std::size_t* size) {
  const std::int64_t raw = static_cast<std::int32_t>(Le32(bytes, at));
  *size = static_cast<std::size_t>(raw < 0 ? -raw : raw);
  return *size >= 8 && *size % 8 == 0 && *size <= end - at;
}

bool CellsFill(const std::string& bytes, std::size_t bin, std::size_t end) {
  std::size_t at = bin + kBinHeader;
  std::size_t size = 0;
  while (at < end && CellFits(bytes, at, end, &size)) at += size;
  return at == end;
}

// Frees [at, end) as one cell, its bytes cleared: nothing in it is trusted,
// neither by hivex nor by the reads that find cells by their offset.
void FreeSpan(std::string& bytes, std::size_t at, std::size_t end) {
  PutLe32(bytes, at, static_cast<std::uint32_t>(end - at));
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
            bytes.begin() + static_cast<std::ptrdiff_t>(end), '\0');
}

// In the bin at `bin`, a cell that runs past `cut` becomes free up to the
// bin's new end: its bytes were lost, so it reads as missing, not as zeros.
void FreeCellsCut(std::string& bytes, std::size_t bin, std::size_t cut, std::size_t end) {
  std::size_t at = bin + kBinHeader;
  std::size_t size = 0;
  while (at + 4 <= cut && CellFits(bytes, at, end, &size)) {
    if (at + size > cut) {
      FreeSpan(bytes, at, end);
      return;
    }
    at += size;
  }
}

// A bin whose header is bad becomes one free cell.
void SkipBin(std::string& bytes, std::size_t at, std::size_t next) {
  bytes.replace(at, 4, "hbin");
  PutLe32(bytes, at + 4, static_cast<std::uint32_t>(at - kPage));
  PutLe32(bytes, at + 8, static_cast<std::uint32_t>(next - at));
  FreeSpan(bytes, at + kBinHeader, next);
}

// Makes the chain of hive bins one hivex can follow: a bin whose header is
// bad is skipped up to the next good one at a page boundary; a bin whose
// size is wrong ends where the next bin starts; the last one, cut short by
// the end of the file, ends there, padded with zeros to a page: never to the
// size it claims, which a few corrupt bytes could make gigabytes. Every step
// moves on by at least a page. Returns the end of the last bin.
std::size_t MendBins(std::string& bytes) {
  std::size_t at = kPage;
  while (at < bytes.size()) {
    if (!IsBinAt(bytes, at)) {
      const std::size_t next = NextBin(bytes, at + kPage);
      if (next >= bytes.size()) break;  // no good bin follows: the hive ends here
      SkipBin(bytes, at, next);
      at = next;
      continue;
    }
    const std::uint32_t size = Le32(bytes, at + 8);
    // A bin followed by one whose header is bad keeps its size when its
    // cells fill it exactly.
    if (size >= kPage && size % kPage == 0 && size <= bytes.size() - at &&
        (at + size == bytes.size() || IsBinAt(bytes, at + size) ||
         CellsFill(bytes, at, at + size))) {
      at += size;
      continue;
    }
    const std::size_t next = NextBin(bytes, at + kPage);
    const std::size_t cut = bytes.size();
    bytes.resize(std::max(next, cut), '\0');
    if (next >= cut && size % kPage == 0 && size > cut - at) {
      FreeCellsCut(bytes, at, cut, next);  // the file was cut inside this bin
    }
    PutLe32(bytes, at + 8, static_cast<std::uint32_t>(next - at));
    at = next;
  }
  bytes.resize(at);
  return at;
}

// Makes the cells of the bin [bin, end) a chain that ends with the bin. A
// cell whose size lies becomes free up to where the cells resume: the slot
// from which the most cells lead to the bin's end (ties: the first).
void MendCells(std::string& bytes, std::size_t bin, std::size_t end) {
  const std::size_t first = bin + kBinHeader;
  const std::size_t slots = (end - first) / 8;
  // chain[i]: the cells from slot i to the end, plus one; 0 when none lead there.
  std::vector<std::uint32_t> chain(slots + 1, 0);
  chain[slots] = 1;
  std::size_t size = 0;
  for (std::size_t i = slots; i-- > 0;) {
    if (CellFits(bytes, first + 8 * i, end, &size) && chain[i + size / 8]) {
      chain[i] = chain[i + size / 8] + 1;
    }
  }
  std::size_t i = 0;
  while (i < slots && !chain[i]) {
    if (CellFits(bytes, first + 8 * i, end, &size)) {
      i += size / 8;
      continue;
    }
    std::size_t resume = slots;
    for (std::size_t j = i + 1; j < slots; ++j) {
      if (chain[j] > chain[resume]) resume = j;
    }
    FreeSpan(bytes, first + 8 * i, first + 8 * resume);
    i = resume;
  }
}

bool UsedKeyAt(const std::string& bytes, std::size_t at) {
  if (at < kPage + kBinHeader || at % 8 != 0 || at + 80 > bytes.size()) return false;
  const auto raw = static_cast<std::int32_t>(Le32(bytes, at));
  return raw <= -80 &&
         static_cast<std::size_t>(-static_cast<std::int64_t>(raw)) <= bytes.size() - at &&
         bytes.compare(at + 4, 2, "nk") == 0;
}

// The first key that says it is the hive's root; 0 when none does.
std::size_t FindRootKey(const std::string& bytes, std::size_t end) {
  for (std::size_t bin = kPage; bin < end; bin += Le32(bytes, bin + 8)) {
    std::size_t size = 0;
    const std::size_t binEnd = bin + Le32(bytes, bin + 8);
    for (std::size_t at = bin + kBinHeader; at < binEnd; at += size) {
      if (!CellFits(bytes, at, binEnd, &size)) break;
      if (UsedKeyAt(bytes, at) && (bytes[at + 6] & kHiveEntry)) return at;
    }
  }
  return 0;
}

}  // namespace

bool MendHive(std::string& bytes) {
  if (bytes.size() < kPage) return false;
  if (bytes.compare(0, 4, "regf") != 0) {
    // Only what hivex checks is rebuilt; the root key is found below.
    bytes.replace(0, 4, "regf");
    PutLe32(bytes, 8, Le32(bytes, 4));
    PutLe32(bytes, 20, 1);
  }
  const std::size_t end = MendBins(bytes);
  for (std::size_t bin = kPage; bin < end; bin += Le32(bytes, bin + 8)) {
    MendCells(bytes, bin, bin + Le32(bytes, bin + 8));
  }
  std::size_t root = kPage + std::size_t{Le32(bytes, 36)};
  if (!UsedKeyAt(bytes, root)) root = FindRootKey(bytes, end);
  if (!root) return false;
  PutLe32(bytes, 36, static_cast<std::uint32_t>(root - kPage));
  PutLe32(bytes, 40, static_cast<std::uint32_t>(end - kPage));
  return true;
}

}  // namespace platform
