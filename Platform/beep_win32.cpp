#include <windows.h>

#include "Platform/beep.h"

namespace platform {

void Beep() { MessageBeep(MB_OK); }

}  // namespace platform
