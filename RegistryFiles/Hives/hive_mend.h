// A damaged hive file mended in memory into an image libhivex opens: hive
// bins with a bad header skipped, cells whose size lies freed, the root key
// found again. What was damaged then reads as missing.
#pragma once

#include <string>

namespace platform {

// Mends `bytes`, a whole hive file, in place. False when no root key is
// left: nothing in it can be read.
bool MendHive(std::string& bytes);

}  // namespace platform
