// Key lines: an optional label ended by "=", then a key path
// HKEY\SUBKEY\NAME. Each gives at most one result line.
#pragma once

#include <cstdint>
#include <string>

#include "hivTAP/command_line.h"

class TTextStream;

struct TRecordKeyName {
  const char* ShortName;
  const char* LongName;
  std::uint32_t RootKey;
};

extern const TRecordKeyName RootKeyNames[7];

// The root key that `name` stands for, in any letter case; 0 when none.
std::uint32_t LookupRootKey(const std::string& name);
// The root's short name (HKLM...); empty for no root.
std::string RootShortName(std::uint32_t root);
// `text` without any trailing `c`.
std::string StripTrailingChar(char c, const std::string& text);
// Splits a key path into root, subkey path (each segment followed
// by its backslash) and value name. On false all three are empty or 0.
bool SplitKeySpec(const std::string& keySpec, std::uint32_t& rootKey, std::string& subKeyPath,
                  std::string& valueName);

// A key line's label, the text before its first "=" (empty without one), and
// the key path after it.
void SplitLabel(const std::string& keyLine, std::string& label, std::string& keySpec);

// The result line for `keyLine`, reading its value when it names one;
// false when nothing is to be written.
bool ComposeResultLine(const std::string& keyLine, const TRunSettings& settings,
                       std::string& resultLine);

// The /T field of a line, with its space: the key's time, or the field of a
// key that does not exist.
std::string KeyTimeField(bool known, std::uint64_t lastWrite);
