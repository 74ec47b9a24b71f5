// Reading one registry value of any type as text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "MyRegistry/registry.h"

// A growable byte array; sizing it fills it with zero bytes.
using TByteBuffer = std::vector<std::uint8_t>;

// The largest binary value rendered, in bytes.
constexpr std::int32_t kBinaryLimit = 254;

// The value `valueName` under `root`\`keyPath` rendered as text, or
// `defaultText` when it cannot be read. Never raises.
std::string ReadValueAsText(std::uint32_t root, const std::string& keyPath,
                            const std::string& valueName, const std::string& defaultText);

// The strings of a list value joined by CR LF. Raises what ReadBytes raises.
std::string ReadMultiStringValue(TRegistry& registry, const std::string& valueName);
