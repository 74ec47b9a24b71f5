#pragma once

namespace platform {

// MessageBeep(MB_OK): the default system sound.
void Beep();

}  // namespace platform
