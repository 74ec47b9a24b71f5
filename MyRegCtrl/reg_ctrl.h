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

// The text ReadValueAsText gives for a value read whole through the Unicode
// calls, as a walk reads it: string types narrowed to the ANSI code page as
// RegQueryValueExA narrows them. Sounds the beep for an unknown type.
std::string RenderValueText(std::uint32_t type, const std::string& data);

// The strings of a list value joined by CR LF. Raises what ReadBytes raises.
std::string ReadMultiStringValue(TRegistry& registry, const std::string& valueName);
