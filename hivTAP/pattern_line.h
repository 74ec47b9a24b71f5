// Key lines under /W whose subkey path or value name holds `*` or `?`.
#pragma once

#include <cstddef>
#include <string>

#include "hivTAP/command_line.h"

class TTextStream;

// Writes a result line for each value the pattern of `keyLine` matches, or
// the line of a missing value when none does; false when `keyLine` is no
// pattern, and nothing was written.
bool ProcessPatternLine(const std::string& keyLine, const TRunSettings& settings,
                        TTextStream& console, TTextStream& outputFile);
