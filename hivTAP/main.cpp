#include <exception>
#include <string>

#include "Base/exception.h"
#include "Platform/command_line.h"
#include "Platform/file.h"
#include "RunTime/text_stream.h"
#include "hivTAP/console_text.h"
#include "hivTAP/driver.h"

int main(int argc, char** argv) {
  platform::InitProcess(argc, argv);
  int exitCode = 1;
  try {
    std::string platformText;
    std::string usageError;
    if (platform::RunPlatformOptions(&platformText, &usageError)) {
      if (!usageError.empty()) throw Exception(usageError);
      // Written as the help screen is, so that a failure is reported alike.
      TTextStream console;
      console.OpenStandard(platform::StdStream::kOutput);
      console.Write(ConvertConsoleText(0, platformText));
      console.Close();
      exitCode = 0;
    } else {
      exitCode = RunProgram(platform::RawCommandLine());
    }
  } catch (const std::exception& failure) {
    // The run-time's default failure path: the message on standard error.
    const std::string report = ConvertConsoleText(0, failure.what()) + platform::ConsoleLineEnd();
    platform::File::Standard(platform::StdStream::kError).Write(report.data(), report.size());
  }
  platform::ExitProcess(exitCode);
}
