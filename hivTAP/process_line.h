// One key line, from the command line or a list, to its result lines.
#pragma once

#include <string>

#include "hivTAP/command_line.h"

class TTextStream;

// Writes the result lines of `keyLine` to the console (unless silent) and
// then to the output file, or its records to the output file alone. A failed
// write raises EInOutError.
void ProcessKeyLine(const std::string& keyLine, const TRunSettings& settings, TTextStream& console,
                    TTextStream& outputFile);
