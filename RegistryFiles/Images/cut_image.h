// Dynamic VHD and monolithic sparse VMDK images cut short, which libvhdi
// and libvmdk refuse whole (libvmdk also a copy renamed): read here through
// their block tables, as the library reads an external image. What the file still holds reads; what
// lay past its end fails as an unreadable sector does, so that the damage
// is warned of where it is met, as for raw, E01 and VHDX images.
#pragma once

#include <string>

#include "RegistryFiles/Images/tsk_handles.h"

namespace platform {

struct CutImage {
  TskImg img;          // null when `path` is none of those, or is whole
  std::string format;  // "VHD" or "VMDK"
  bool cut = false;    // else a VMDK under a name its descriptor does not give
};

CutImage OpenCutImage(const std::string& path);

}  // namespace platform
