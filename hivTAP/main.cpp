#include <exception>
#include <string>

#include "Platform/command_line.h"
#include "Platform/file.h"
#include "hivTAP/console_text.h"
#include "hivTAP/driver.h"

int main(int argc, char** argv) {
  platform::InitProcess(argc, argv);
  int exitCode = 1;
  if (platform::RunPlatformOptions(&exitCode)) platform::ExitProcess(exitCode);
  try {
    exitCode = RunProgram(platform::RawCommandLine());
  } catch (const std::exception& failure) {
    // The run-time's default failure path: the message on standard error.
    const std::string report = ConvertConsoleText(0, failure.what()) + "\r\n";
    platform::File::Standard(platform::StdStream::kError).Write(report.data(), report.size());
  }
  platform::ExitProcess(exitCode);
}
