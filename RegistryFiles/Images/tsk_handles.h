// Owners for the Sleuth Kit's handles: each closed with its owner, the file
// system before the image it reads.
#pragma once

#include "RegistryFiles/Images/tsk_library.h"

#include <memory>

namespace platform {

struct TskCloser {
  void operator()(TSK_IMG_INFO* p) const { Tsk().img_close(p); }
  void operator()(TSK_VS_INFO* p) const { Tsk().vs_close(p); }
  void operator()(TSK_FS_INFO* p) const { Tsk().fs_close(p); }
  void operator()(TSK_FS_FILE* p) const { Tsk().fs_file_close(p); }
  void operator()(TSK_FS_DIR* p) const { Tsk().fs_dir_close(p); }
};

using TskImg = std::unique_ptr<TSK_IMG_INFO, TskCloser>;
using TskVs = std::unique_ptr<TSK_VS_INFO, TskCloser>;
using TskFs = std::unique_ptr<TSK_FS_INFO, TskCloser>;
using TskFile = std::unique_ptr<TSK_FS_FILE, TskCloser>;
using TskDir = std::unique_ptr<TSK_FS_DIR, TskCloser>;

// An NTFS volume and the image it lies in, kept open together.
struct TskVolume {
  std::shared_ptr<TSK_IMG_INFO> image;
  TskFs fs;  // declared last: closed first
};

}  // namespace platform
