#pragma once

#include <string>

#include "hivTAP/command_line.h"

// The program's option state, one for the process.
extern TRunSettings RunSettings;

// The whole run for `commandLine`; returns the exit code. Failures outside
// the output stage pass through to the caller.
int RunProgram(const std::string& commandLine);
