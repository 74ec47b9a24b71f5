// Lookups inside one hive: names compared as Windows compares them, values
// as stored.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/charset_posix.h"
#include "Platform/registry_store.h"
#include "RegistryFiles/Hives/hive_cells.h"
#include "RegistryFiles/Hives/hive_file.h"

namespace platform {

// The subkey named `name`, any letter case; 0 when missing or unreachable.
hive_node_h FindChild(const HiveFile& hive, hive_node_h node, const U16& name);
// The value named `name` ("" for the default value); 0 when missing.
hive_value_h FindValue(const HiveFile& hive, hive_node_h node, const U16& name);
// Its type and raw bytes, whole; false when its data cannot be read.
bool ReadRawValue(const HiveFile& hive, hive_value_h value, StoredValue* out);
// Stored UTF-16 text up to its first NUL.
std::optional<U16> ReadText(const HiveFile& hive, hive_node_h node, const U16& name);
std::optional<std::uint32_t> ReadDword(const HiveFile& hive, hive_node_h node, const U16& name);
// The names of the node's values, in stored order ("" for the default).
std::vector<U16> ValueNames(const HiveFile& hive, hive_node_h node);
// `node` when hivex takes it for a key node, else 0.
hive_node_h Checked(const HiveFile& hive, std::uint64_t node);
// The node's subkey names, in stored order (bounded, see SubkeyCursor).
std::vector<std::pair<U16, hive_node_h>> Children(const HiveFile& hive, hive_node_h node);

}  // namespace platform
