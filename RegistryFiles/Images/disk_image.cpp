#include "RegistryFiles/Images/disk_image.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "Platform/charset_posix.h"
#include "RegistryFiles/Images/cut_image.h"
#include "RegistryFiles/Images/ntfs_files.h"
#include "RegistryFiles/Images/partition_table.h"
#include "RegistryFiles/Images/scan_deadline.h"
#include "RegistryFiles/Images/tsk_handles.h"

namespace platform {
namespace {

struct Candidate {
  std::shared_ptr<TskVolume> volume;
  long long partition = -1;  // the Sleuth Kit's number, -1 without a table
  unsigned long long offset = 0;
};

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// The format by its signature. The library's own detection tries each
// format's opener in turn, and its VMDK and VHD openers leak what they made
// on every file that is not theirs.
TSK_IMG_TYPE_ENUM ImageType(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return TSK_IMG_TYPE_DETECT;
  char head[8] = {};
  char foot[8] = {};
  const bool whole = std::fread(head, 1, sizeof head, f) == sizeof head;
  // A fixed VHD has its footer, "conectix", in its last 512 bytes only.
  const bool footer =
      std::fseek(f, -512, SEEK_END) == 0 && std::fread(foot, 1, sizeof foot, f) == sizeof foot;
  std::fclose(f);
  if (whole && std::memcmp(head, "EVF\x09\x0D\x0A\xFF\x00", 8) == 0) return TSK_IMG_TYPE_EWF_EWF;
  if (whole && (std::memcmp(head, "KDMV", 4) == 0 || std::memcmp(head, "# Disk D", 8) == 0)) {
    return TSK_IMG_TYPE_VMDK_VMDK;
  }
  if (whole && (std::memcmp(head, "vhdxfile", 8) == 0 || std::memcmp(head, "conectix", 8) == 0)) {
    return TSK_IMG_TYPE_VHD_VHD;
  }
  if (footer && std::memcmp(foot, "conectix", 8) == 0) return TSK_IMG_TYPE_VHD_VHD;
  return TSK_IMG_TYPE_RAW;
}

// A split raw image is named by its first segment; the others follow it.
std::vector<std::string> Segments(const std::string& path) {
  std::vector<std::string> names{path};
  const std::size_t n = path.size();
  if (n < 4 || path.compare(n - 4, 4, ".001") != 0) return names;
  for (int i = 2; i < 1000; ++i) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, ".%03d", i);
    const std::string next = path.substr(0, n - 4) + suffix;
    if (!Exists(next)) break;
    names.push_back(next);
  }
  return names;
}

std::string FormatName(const TSK_IMG_INFO& img, const std::string& path) {
  switch (img.itype) {
    case TSK_IMG_TYPE_EWF_EWF:
      return "EWF (E01)";
    case TSK_IMG_TYPE_VMDK_VMDK:
      return "VMDK";
    case TSK_IMG_TYPE_VHD_VHD: {
      // libvhdi reads both; the signature tells them apart.
      char magic[8] = {};
      if (FILE* f = std::fopen(path.c_str(), "rb")) {
        if (std::fread(magic, 1, sizeof magic, f) != sizeof magic) magic[0] = 0;
        std::fclose(f);
      }
      return std::memcmp(magic, "vhdxfile", 8) == 0 ? "VHDX" : "VHD";
    }
    default:
      return img.num_img > 1 ? "brut en " + std::to_string(img.num_img) + " segments" : "brut";
  }
}

// A volume whose path to SYSTEM is damaged may still hold the user hives.
bool HoldsWindows(const NtfsFiles& files) {
  std::string path = "/";
  for (const char* part : {"Windows", "System32", "config", "SYSTEM"}) {
    path = files.Find(path, part);
    if (path.empty()) return !files.kept().empty();
  }
  return files.IsFile(path);
}

std::string Label(const Candidate& c) {
  // "partition N à l'octet X", "volume à l'octet X"
  const std::string at = "l'octet " + std::to_string(c.offset);
  if (c.partition < 0) return "volume sans table de partitions, \xE0 " + at;
  return "partition " + std::to_string(c.partition) + " \xE0 " + at;
}

// The volume system to look for: GPT alone behind a protective MBR.
TSK_VS_TYPE_ENUM VolumeSystemType(TSK_IMG_INFO* img) {
  unsigned char mbr[512];
  const bool read = Tsk().img_read(img, 0, reinterpret_cast<char*>(mbr), sizeof mbr) == sizeof mbr;
  Tsk().error_reset();
  return read && IsProtectiveMbr(mbr) ? TSK_VS_TYPE_GPT : TSK_VS_TYPE_DETECT;
}

// The NTFS volumes: each allocated partition, else the whole image as one.
std::vector<Candidate> NtfsVolumes(const std::shared_ptr<TSK_IMG_INFO>& img) {
  std::vector<Candidate> ntfs;
  auto tryVolume = [&](long long partition, unsigned long long offset) {
    TskFs fs(Tsk().fs_open_img(img.get(), static_cast<TSK_OFF_T>(offset), TSK_FS_TYPE_NTFS));
    Tsk().error_reset();
    if (!fs) return;
    auto volume = std::make_shared<TskVolume>();
    volume->image = img;
    volume->fs = std::move(fs);
    ntfs.push_back({std::move(volume), partition, offset});
  };
  TskVs vs(Tsk().vs_open(img.get(), 0, VolumeSystemType(img.get())));
  Tsk().error_reset();
  for (TSK_PNUM_T i = 0; vs && i < vs->part_count; ++i) {
    const TSK_VS_PART_INFO* part = Tsk().vs_part_get(vs.get(), i);
    if (part && (part->flags & TSK_VS_PART_FLAG_ALLOC)) {
      tryVolume(static_cast<long long>(part->addr),
                static_cast<unsigned long long>(part->start) * vs->block_size);
    }
  }
  if (ntfs.empty()) tryVolume(-1, 0);
  return ntfs;
}

// Why an image holds no NTFS volume: a cut or damaged image says so.
std::string NoNtfsMessage(TSK_IMG_INFO* img, const std::string& file) {
  char sector[512];
  const TSK_OFF_T last = img->size - static_cast<TSK_OFF_T>(sizeof sector);
  const bool readable = Tsk().img_read(img, last, sector, sizeof sector) == sizeof sector &&
                        Tsk().img_read(img, 0, sector, sizeof sector) == sizeof sector;
  Tsk().error_reset();
  // "image disque endommagée, aucun volume NTFS lisible"
  if (!readable)
    return "hivTAP: image disque endommag\xE9"
           "e, aucun volume NTFS lisible : " +
           file;
  // An E01 cut short reads as zeros where its chunks are lost.
  const bool blank = std::all_of(sector, sector + sizeof sector, [](char c) { return c == 0; });
  // "aucun volume NTFS dans l'image disque", "premier secteur nul : image vide ou endommagée"
  return std::string("hivTAP: aucun volume NTFS dans l'image disque") +
         (blank ? " (premier secteur nul : image vide ou endommag\xE9"
                  "e)"
                : "") +
         " : " + file;
}

}  // namespace

DiskImage OpenDiskImage(const std::string& path) {
  DiskImage result;
  std::string why;
  if (!LoadTsk(&why)) {
    // "la bibliothèque des images disque ne se charge pas"
    result.missing = "hivTAP: la biblioth\xE8que des images disque ne se charge pas (" +
                     Utf8ToAnsi(why) + ") : " + Utf8ToAnsi(path);
    return result;
  }
  const std::vector<std::string> names = Segments(path);
  std::vector<const char*> args;
  for (const std::string& n : names) args.push_back(n.c_str());
  std::shared_ptr<TSK_IMG_INFO> img(
      Tsk().img_open_utf8(static_cast<int>(args.size()), args.data(), ImageType(path), 0),
      TskCloser());
  Tsk().error_reset();
  const std::string file = Utf8ToAnsi(path);
  std::string cutFormat;
  if (!img) {
    // Its library refuses a VHD or VMDK cut short whole: what is there reads.
    CutImage cut = OpenCutImage(path);
    cutFormat = cut.format;
    img.reset(cut.img.release(), TskCloser());
    // "image disque FORMAT tronquée, ce qui manque est illisible"
    if (img && cut.cut) {
      result.warnings.push_back("hivTAP: image disque " + cutFormat +
                                " tronqu\xE9"
                                "e, ce qui manque est illisible : " +
                                file);
    }
  }
  // Less than a sector is no disk.
  if (!img || img->size < 512) {
    // "ce fichier n'est pas une image disque lisible"
    result.missing = "hivTAP: ce fichier n'est pas une image disque lisible : " + file;
    return result;
  }
  // Tables the library would read without end never reach it.
  const std::string refused = CheckPartitionTables(
      [&img](std::uint64_t offset, void* buffer, std::size_t size) {
        return Tsk().img_read(img.get(), static_cast<TSK_OFF_T>(offset), static_cast<char*>(buffer),
                              size) == static_cast<ssize_t>(size);
      },
      static_cast<std::uint64_t>(img->size));
  Tsk().error_reset();
  if (!refused.empty()) {
    // "table de partitions refusée"
    result.missing =
        "hivTAP: table de partitions refus\xE9"
        "e (" +
        refused + ") : " + file;
    return result;
  }
  result.format = cutFormat.empty() ? FormatName(*img, path) : cutFormat;
  std::vector<Candidate> ntfs;
  std::vector<std::pair<Candidate, std::shared_ptr<NtfsFiles>>> windows;
  {
    ScanDeadline deadline(img.get(), std::chrono::steady_clock::now() + kImageScanLimit);
    ntfs = NtfsVolumes(img);
    for (const Candidate& c : ntfs) {
      auto files = std::make_shared<NtfsFiles>(c.volume, path);
      files->SetQuiet(true);
      if (HoldsWindows(*files)) windows.emplace_back(c, files);
      files->SetQuiet(false);
    }
    if (deadline.Expired()) {
      // "parcours de l'image disque arrêté après 60 s"
      result.missing = "hivTAP: parcours de l'image disque arr\xEAt\xE9 apr\xE8s " +
                       std::to_string(kImageScanLimit.count()) + " s : " + file;
      return result;
    }
  }
  if (ntfs.empty()) {
    result.missing = NoNtfsMessage(img.get(), file);
    return result;
  }
  std::string all;
  for (const auto& w : windows) all += (all.empty() ? "" : ", ") + Label(w.first);
  if (windows.empty()) {
    // "aucun volume NTFS de l'image disque ne contient Windows\System32\config\SYSTEM"
    result.missing =
        "hivTAP: aucun volume NTFS de l'image disque ne contient "
        "Windows\\System32\\config\\SYSTEM : " +
        file;
    return result;
  }
  std::size_t chosen = 0;
  const char* wanted = std::getenv("HIVTAP_VOLUME");
  if (wanted && *wanted) {
    chosen = windows.size();
    for (std::size_t i = 0; i < windows.size(); ++i) {
      const Candidate& c = windows[i].first;
      const std::string id =
          wanted[0] == '@' ? "@" + std::to_string(c.offset) : std::to_string(c.partition);
      if (id == wanted) chosen = i;
    }
    if (chosen == windows.size()) {
      // "HIVTAP_VOLUME ne désigne aucun volume Windows de l'image disque"
      result.missing = "hivTAP: HIVTAP_VOLUME ne d\xE9signe aucun volume Windows de l'image " +
                       file + " : " + Utf8ToAnsi(wanted) + " (volumes : " + all + ")";
      return result;
    }
  } else if (windows.size() > 1) {
    // "plusieurs volumes Windows, HIVTAP_VOLUME choisit parmi"
    result.warnings.push_back(
        "hivTAP: plusieurs volumes Windows dans l'image disque, le premier est lu ; "
        "HIVTAP_VOLUME choisit parmi : " +
        all);
  }
  const std::vector<std::string>& kept = windows[chosen].second->kept();
  result.warnings.insert(result.warnings.end(), kept.begin(), kept.end());
  result.files = windows[chosen].second;
  result.volume = Label(windows[chosen].first);
  return result;
}

}  // namespace platform
