// Key lines under /F:json and /F:csv: each result is a record in UTF-8, with
// every byte and the exact names, written to the output file only.
#pragma once

#include <string>

#include "hivTAP/command_line.h"

class TTextStream;

// The records of `keyLine`: its values (and keys), the record of what is
// missing, or of a line that names no key.
void ProcessExportLine(const std::string& keyLine, const TRunSettings& settings,
                       TTextStream& console, TTextStream& outputFile);
// The record of a list line that names no key.
void ExportNoKeyLine(const std::string& line, const TRunSettings& settings,
                     TTextStream& outputFile);
// What a new or empty CSV file starts with: the byte order mark and the
// header row; a pipe or terminal gets the header row alone.
void StartExportFile(const TRunSettings& settings, TTextStream& outputFile);
