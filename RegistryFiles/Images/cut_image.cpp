#include "RegistryFiles/Images/cut_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "RegistryFiles/unique_fd.h"

namespace platform {
namespace {

constexpr std::uint64_t kSector = 512;
// A table entry: the block's first sector in the file, or one of these.
constexpr std::uint32_t kZeros = 0;          // never written: reads as zeros
constexpr std::uint32_t kLost = 0xFFFFFFFF;  // its table lay past the cut
// No disk image holds more blocks than this (a 2 TiB VHD of 2 MiB blocks,
// a 512 GiB VMDK of 64 KiB grains): more is a damaged header.
constexpr std::uint64_t kMaxBlocks = std::uint64_t{1} << 23;

std::uint64_t Be(const unsigned char* p, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

std::uint64_t Le(const unsigned char* p, int n) {
  std::uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// The image as the library sees it, its own state first: the library hands
// the read and close callbacks this TSK_IMG_INFO.
struct Reader {
  UniqueFd fd;
  std::uint64_t fileSize = 0;
  std::uint64_t blockBytes = 0;
  std::uint64_t skip = 0;  // bytes before a block's data (a VHD's bitmap)
  std::vector<std::uint32_t> blocks;
};

struct External {
  TSK_IMG_INFO img;  // first: the library's pointer is ours
  Reader* reader;
};

bool ReadAt(const Reader& r, std::uint64_t at, void* buffer, std::size_t size) {
  return pread(r.fd.get(), buffer, size, static_cast<off_t>(at)) == static_cast<ssize_t>(size);
}

ssize_t ReadImage(TSK_IMG_INFO* img, TSK_OFF_T offset, char* buffer, size_t size) {
  const Reader& r = *reinterpret_cast<External*>(img)->reader;
  std::size_t done = 0;
  while (done < size) {
    const std::uint64_t at = static_cast<std::uint64_t>(offset) + done;
    if (at >= static_cast<std::uint64_t>(img->size)) break;
    const std::uint64_t block = at / r.blockBytes;
    const std::uint64_t within = at % r.blockBytes;
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>({size - done, r.blockBytes - within, img->size - at}));
    const std::uint32_t first = block < r.blocks.size() ? r.blocks[block] : kZeros;
    if (first == kLost) break;
    if (first == kZeros) {
      std::memset(buffer + done, 0, n);
      done += n;
      continue;
    }
    // Up to the cut: the library keeps what a short read gives.
    const ssize_t got =
        pread(r.fd.get(), buffer + done, n, static_cast<off_t>(first * kSector + r.skip + within));
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
    if (static_cast<std::size_t>(got) < n) break;
  }
  return done > 0 ? static_cast<ssize_t>(done) : -1;
}

void CloseImage(TSK_IMG_INFO* img) {
  External* external = reinterpret_cast<External*>(img);
  std::unique_ptr<Reader> reader(external->reader);
  delete external;
}

void NoStat(TSK_IMG_INFO*, FILE*) {}

// A dynamic VHD: its footer's copy at the start, then the dynamic header and
// the block allocation table. Cut when the footer at its end is gone.
bool ReadVhd(Reader* r, std::uint64_t* size) {
  unsigned char footer[512];
  unsigned char dynamic[1024];
  if (!ReadAt(*r, 0, footer, sizeof footer) || std::memcmp(footer, "conectix", 8) != 0 ||
      Be(footer + 60, 4) != 3) {
    return false;
  }
  unsigned char tail[8] = {};
  if (r->fileSize >= 512 && ReadAt(*r, r->fileSize - 512, tail, sizeof tail) &&
      std::memcmp(tail, "conectix", 8) == 0) {
    return false;  // whole: libvhdi's to read
  }
  if (!ReadAt(*r, Be(footer + 16, 8), dynamic, sizeof dynamic) ||
      std::memcmp(dynamic, "cxsparse", 8) != 0) {
    return false;
  }
  *size = Be(footer + 48, 8);
  const std::uint64_t table = Be(dynamic + 16, 8);
  const std::uint64_t entries = Be(dynamic + 28, 4);
  r->blockBytes = Be(dynamic + 32, 4);
  if (r->blockBytes < kSector || r->blockBytes % kSector != 0 || entries > kMaxBlocks ||
      *size > entries * r->blockBytes) {
    return false;
  }
  // A sector bit per sector of the block, in whole sectors.
  r->skip = (r->blockBytes / kSector / 8 + kSector - 1) / kSector * kSector;
  std::vector<unsigned char> bat(entries * 4);
  const bool whole = ReadAt(*r, table, bat.data(), bat.size());
  r->blocks.assign(entries, kLost);
  for (std::uint64_t i = 0; i < entries; ++i) {
    if (!whole && table + 4 * (i + 1) > r->fileSize) break;
    if (!whole) ReadAt(*r, table + 4 * i, &bat[4 * i], 4);
    const std::uint32_t first = static_cast<std::uint32_t>(Be(&bat[4 * i], 4));
    r->blocks[i] = first == 0xFFFFFFFF ? kZeros : first;
  }
  return true;
}

// A monolithic sparse VMDK: its header, grain directory and grain tables.
// libvmdk opens it by the extent name its descriptor holds, and refuses a
// copy under another name as it refuses one cut short; both read here.
// `*cut` when a table or grain lies past the file's end.
bool ReadVmdk(Reader* r, std::uint64_t* size, bool* cut) {
  unsigned char h[512];
  if (!ReadAt(*r, 0, h, sizeof h) || std::memcmp(h, "KDMV", 4) != 0 || Le(h + 77, 2) != 0) {
    return false;
  }
  const std::uint64_t capacity = Le(h + 12, 8);
  const std::uint64_t grain = Le(h + 20, 8);
  const std::uint64_t perTable = Le(h + 44, 4);
  const std::uint64_t directory = Le(h + 56, 8);
  if (grain == 0 || grain > 2048 || perTable == 0 || perTable > 4096 ||
      directory >= r->fileSize / kSector || capacity / grain >= kMaxBlocks) {
    return false;
  }
  *size = capacity * kSector;
  r->blockBytes = grain * kSector;
  const std::uint64_t grains = (capacity + grain - 1) / grain;
  const std::uint64_t tables = (grains + perTable - 1) / perTable;
  r->blocks.assign(grains, kLost);
  std::vector<unsigned char> entry(4 * perTable);
  for (std::uint64_t t = 0; t < tables; ++t) {
    unsigned char at[4];
    if (!ReadAt(*r, directory * kSector + 4 * t, at, sizeof at)) {
      *cut = true;
      break;
    }
    const std::uint64_t table = Le(at, 4);
    const std::uint64_t count = std::min(perTable, grains - t * perTable);
    if (table == 0) {
      std::fill_n(r->blocks.begin() + t * perTable, count, kZeros);
      continue;
    }
    if (!ReadAt(*r, table * kSector, entry.data(), 4 * count)) {
      *cut = true;
      continue;
    }
    for (std::uint64_t g = 0; g < count; ++g) {
      const std::uint64_t first = Le(&entry[4 * g], 4);
      // 1: a grain of zeros.
      r->blocks[t * perTable + g] = first <= 1 ? kZeros : static_cast<std::uint32_t>(first);
      *cut = *cut || (first > 1 && (first + grain) * kSector > r->fileSize);
    }
  }
  return true;
}

}  // namespace

CutImage OpenCutImage(const std::string& path) {
  CutImage result;
  auto reader = std::make_unique<Reader>();
  reader->fd.reset(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (reader->fd.get() < 0 || fstat(reader->fd.get(), &st) != 0) return result;
  reader->fileSize = static_cast<std::uint64_t>(st.st_size);
  std::uint64_t size = 0;
  if (ReadVhd(reader.get(), &size)) {
    result.format = "VHD";
    result.cut = true;
  } else if (ReadVmdk(reader.get(), &size, &result.cut)) {
    result.format = "VMDK";
  } else {
    return result;
  }
  auto* external = new External();
  external->reader = reader.release();
  TSK_IMG_INFO* img = Tsk().img_open_external(external, static_cast<TSK_OFF_T>(size), 512,
                                              ReadImage, CloseImage, NoStat);
  Tsk().error_reset();
  if (!img) {
    CloseImage(&external->img);
    result.format.clear();
    return result;
  }
  result.img.reset(img);
  return result;
}

}  // namespace platform
