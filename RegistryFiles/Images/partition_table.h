// The partition tables of a disk image, checked before the Sleuth Kit reads
// them. The library reads as many GPT entries as the header claims, and
// follows extended partitions as far as they chain: a header claiming 2^32
// entries, or a loop of extended partitions, held a run without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// Windows writes 128 GPT entries; more than this is no disk's.
constexpr std::uint32_t kMaxGptEntries = 4096;
// Extended boot records followed from the MBR, loops included.
constexpr int kMaxExtendedRecords = 128;

// Whether the disk's first sector (512 bytes) is a GPT's protective MBR.
// The library would take it for a DOS table too, and its detection leaks
// the DOS one it drops: such a disk is read as GPT alone.
bool IsProtectiveMbr(const unsigned char* sector);

// Reads `size` bytes at `offset` of the image; false when it cannot.
using ImageReader = std::function<bool(std::uint64_t offset, void* buffer, std::size_t size)>;

// Empty when the tables of the image, `imageSize` bytes long, can be handed
// to the library; else why not, in French (Windows-1252).
std::string CheckPartitionTables(const ImageReader& read, std::uint64_t imageSize);

}  // namespace platform
