// Recovery of a dirty hive from its transaction logs, in memory, as Windows
// does when it loads the hive. Nothing here touches a file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "RegistryFiles/Hives/hive_log.h"

namespace platform {

struct HiveLogFile {
  std::string name;  // its path (UTF-8), for the warnings
  std::string_view bytes;
};

// True when the checksum is wrong or the two sequence numbers differ; `header`
// holds at least the first 512 bytes of the primary file.
bool HiveIsDirty(std::string_view header);

struct HiveRecovery {
  bool dirty = false;
  bool changed = false;               // `image` now differs from the primary file
  std::vector<std::string> warnings;  // Windows-1252, each naming its file
  // For --version, when dirty (Windows-1252): the logs applied and the
  // sequence number reached, or why none was.
  std::string replay;
};

// Replays `logs` (LOG1, LOG2 or LOG, in any order) onto `image`, the bytes of
// the primary file, when it is dirty; a recovered image gets a clean base block.
// The image grows to at most its size plus the logs' sizes.
HiveRecovery RecoverHive(const std::string& primary_name, const std::vector<HiveLogFile>& logs,
                         HiveImage* image);
HiveRecovery RecoverHive(const std::string& primary_name, const std::vector<HiveLogFile>& logs,
                         std::string* image);

}  // namespace platform
