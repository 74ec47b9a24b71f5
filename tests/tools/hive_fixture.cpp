#include "tests/tools/hive_fixture.h"

#include "RegistryFiles/Hives/marvin32.h"

namespace hivefix {
namespace {

constexpr std::size_t kBase = 4096, kBin = 4096;
// Cells of the first bin, relative to the hive bins data.
constexpr std::uint32_t kRoot = 0x20, kSecurity = 0x78, kValues = 0xA8, kVersion = 0xB8,
                        kStamp = 0xD8, kData = 0xF8, kFree = 0x140;
constexpr std::uint32_t kGrownData = 0x1020;
constexpr std::uint32_t kNone = 0xFFFFFFFF;

void Put32(std::string* s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
}
void Put64(std::string* s, std::size_t at, std::uint64_t v) {
  Put32(s, at, static_cast<std::uint32_t>(v));
  Put32(s, at + 4, static_cast<std::uint32_t>(v >> 32));
}
std::uint32_t Get32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}
void Put(std::string* s, std::size_t at, const std::string& bytes) {
  s->replace(at, bytes.size(), bytes);
}

// A hive bin at `offset` (relative) whose cells start with a free one.
void Bin(std::string* hive, std::uint32_t offset) {
  const std::size_t at = kBase + offset;
  Put(hive, at, "hbin");
  Put32(hive, at + 4, offset);
  Put32(hive, at + 8, kBin);
  Put64(hive, at + 20, 0x01D9000000000000ull);
  Put32(hive, at + 32, kBin - 32);
}

void Cell(std::string* hive, std::uint32_t offset, std::uint32_t size) {
  Put32(hive, kBase + offset, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
}

void Value(std::string* hive, std::uint32_t at, const std::string& name, std::uint32_t size,
           std::uint32_t data, std::uint32_t type) {
  const std::size_t c = kBase + at + 4;
  Put(hive, c, "vk");
  (*hive)[c + 2] = static_cast<char>(name.size());
  Put32(hive, c + 4, size);
  Put32(hive, c + 8, data);
  Put32(hive, c + 12, type);
  Put32(hive, c + 16, 1);  // compressed name
  Put(hive, c + 20, name);
}

}  // namespace

std::string MakeHive(const std::string& text, bool grown) {
  const std::uint32_t bins = grown ? 2 : 1;
  std::string hive(kBase + bins * kBin, '\0');
  Put(&hive, 0, "regf");
  Put64(&hive, 12, 0x01D9000000000000ull);
  Put32(&hive, 20, 1);
  Put32(&hive, 24, 5);
  Put32(&hive, 32, 1);
  Put32(&hive, 36, kRoot);
  Put32(&hive, 40, bins * kBin);
  Put32(&hive, 44, 1);
  SetSequence(&hive, 4, 4);
  for (std::uint32_t b = 0; b < bins; ++b) Bin(&hive, b * kBin);

  Cell(&hive, kRoot, 88);
  const std::size_t nk = kBase + kRoot + 4;
  Put(&hive, nk, "nk");
  Put32(&hive, nk + 2, 0x2C);
  Put32(&hive, nk + 28, kNone);
  Put32(&hive, nk + 32, kNone);
  Put32(&hive, nk + 36, 2);
  Put32(&hive, nk + 40, kValues);
  Put32(&hive, nk + 44, kSecurity);
  Put32(&hive, nk + 48, kNone);
  Put32(&hive, nk + 60, 14);
  Put32(&hive, nk + 64, 64);
  Put32(&hive, nk + 72, 4);
  Put(&hive, nk + 76, "ROOT");

  Cell(&hive, kSecurity, 48);
  const std::size_t sk = kBase + kSecurity + 4;
  Put(&hive, sk, "sk");
  Put32(&hive, sk + 4, kSecurity);
  Put32(&hive, sk + 8, kSecurity);
  Put32(&hive, sk + 12, 1);
  Put32(&hive, sk + 16, 20);
  Put32(&hive, sk + 20, 0x80000001);  // revision 1, self-relative

  Cell(&hive, kValues, 16);
  Put32(&hive, kBase + kValues + 4, kVersion);
  Put32(&hive, kBase + kValues + 8, kStamp);

  std::string utf16;
  for (char c : text.substr(0, 31)) utf16 += std::string{c, '\0'};
  utf16 += std::string(2, '\0');
  const std::uint32_t data = grown ? kGrownData : kData;
  Cell(&hive, kVersion, 32);
  Value(&hive, kVersion, "Version", static_cast<std::uint32_t>(utf16.size()), data, 1);
  Cell(&hive, kStamp, 32);
  Value(&hive, kStamp, "Stamp", 0x80000004, 0x12345678, 4);
  Cell(&hive, data, 72);
  Put(&hive, kBase + data + 4, utf16);
  // The rest of each bin stays one free cell.
  Put32(&hive, kBase + kFree, kBin - kFree);
  if (grown) {
    Put32(&hive, kBase + kData, kFree - kData);
    Put32(&hive, kBase + kGrownData + 72, kBin - 32 - 72);
  }
  return hive;
}

void SetSequence(std::string* hive, std::uint32_t primary, std::uint32_t secondary) {
  Put32(hive, 4, primary);
  Put32(hive, 8, secondary);
  WriteChecksum(hive);
}

void WriteChecksum(std::string* block) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 508; i += 4) sum ^= Get32(*block, i);
  Put32(block, 508, sum == 0 ? 1 : sum == 0xFFFFFFFF ? 0xFFFFFFFE : sum);
}

std::string VersionText(const std::string& image) {
  // Each step checked against the image's size: a bad recovery must fail here.
  auto fits = [&](std::uint64_t at, std::uint64_t n) { return at + n <= image.size(); };
  if (!fits(0, kBase)) return "?";
  const std::uint64_t nk = kBase + Get32(image, 36) + 4;
  if (!fits(nk, 76) || image.compare(nk, 2, "nk") != 0) return "?";
  const std::uint32_t count = Get32(image, nk + 36);
  const std::uint64_t list = kBase + Get32(image, nk + 40) + 4;
  for (std::uint32_t i = 0; i < count && fits(list + 4 * i, 4); ++i) {
    const std::uint64_t vk = kBase + Get32(image, list + 4 * i) + 4;
    if (!fits(vk, 27) || image.compare(vk, 2, "vk") != 0 || image.compare(vk + 20, 7, "Version"))
      continue;
    const std::uint32_t size = Get32(image, vk + 4);
    const std::uint64_t data = kBase + Get32(image, vk + 8) + 4;
    if (size > 64 || !fits(data, size)) return "?";
    std::string text;
    for (std::uint32_t j = 0; j + 1 < size && image[data + j] != 0; j += 2) text += image[data + j];
    return text;
  }
  return "?";
}

std::string LogEntry(std::uint32_t sequence, const std::string& before, const std::string& after) {
  std::string refs, pages;
  for (std::size_t at = kBase; at < after.size(); at += kBin) {
    if (at + kBin <= before.size() && before.compare(at, kBin, after, at, kBin) == 0) continue;
    refs += std::string(8, '\0');
    Put32(&refs, refs.size() - 8, static_cast<std::uint32_t>(at - kBase));
    Put32(&refs, refs.size() - 4, kBin);
    pages += after.substr(at, kBin);
  }
  std::string e(kEntryPages, '\0');
  e += refs + pages;
  e.resize((e.size() + 511) / 512 * 512, '\0');
  Put(&e, 0, "HvLE");
  Put32(&e, 4, static_cast<std::uint32_t>(e.size()));
  Put32(&e, 12, sequence);
  Put32(&e, 16, Get32(after, 40));
  Put32(&e, 20, static_cast<std::uint32_t>(refs.size() / 8));
  const auto* u = reinterpret_cast<const unsigned char*>(e.data());
  Put64(&e, kEntryHash1, platform::Marvin32(platform::kHiveLogMarvinSeed, u + 40, e.size() - 40));
  Put64(&e, kEntryHash2, platform::Marvin32(platform::kHiveLogMarvinSeed, u, 32));
  return e;
}

std::string NewLog(const std::string& hive, std::uint32_t sequence,
                   const std::vector<std::string>& entries) {
  std::string log = hive.substr(0, 512);
  Put32(&log, 28, 6);
  SetSequence(&log, sequence, sequence);
  for (const std::string& e : entries) log += e;
  return log;
}

std::string OldLog(const std::string& before, const std::string& after) {
  std::string log = before.substr(0, 512);
  Put32(&log, 28, 1);
  Put32(&log, 40, Get32(after, 40));
  const std::uint32_t seq = Get32(before, 4);
  SetSequence(&log, seq, seq);
  const std::size_t pages = (after.size() - kBase) / 512;
  std::string vector = "DIRT" + std::string(pages / 8, '\0'), data;
  for (std::size_t p = 0; p < pages; ++p) {
    const std::size_t at = kBase + p * 512;
    if (at + 512 <= before.size() && before.compare(at, 512, after, at, 512) == 0) continue;
    vector[4 + p / 8] = static_cast<char>(vector[4 + p / 8] | (1 << (p % 8)));
    data += after.substr(at, 512);
  }
  vector.resize((vector.size() + 511) / 512 * 512, '\0');
  return log + vector + data;
}

}  // namespace hivefix
