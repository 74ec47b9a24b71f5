// Key lines under /W, read by a walk: patterns, `**`, key listings, and
// names that read back as /N prints them.
#pragma once

#include <cstddef>
#include <string>

#include "hivTAP/command_line.h"

class TTextStream;

// Writes a result line for each value (or key) that `keyLine` matches, or
// the line of a missing value when none does; false when `keyLine` names no
// key, and nothing was written.
bool ProcessPatternLine(const std::string& keyLine, const TRunSettings& settings,
                        TTextStream& console, TTextStream& outputFile);

// "hivTAP: plus de N valeurs, liste arrêtée à N", on the console and on
// standard error.
void ReportCap(std::size_t cap, TTextStream& console);
