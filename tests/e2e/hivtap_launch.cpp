// Runs programs with exact raw command lines, for the end-to-end tests.
//
//   hivtap_launch.exe BATCHFILE
//
// BATCHFILE holds records of five lines, each ended by LF:
//   program path, working directory, output base path, standard output
//   mode, raw command line (any bytes but LF and NUL)
// Each record's program is started with CreateProcessA and exactly that
// command line; its standard error goes to BASE.err and, in the modes
// "file" and "pipe", its standard output to BASE.out. Modes:
//   file        standard output is a disk file
//   pipe        standard output is a pipe, drained into BASE.out
//   closed      standard output is no handle at all (NULL)
//   invalid     standard output is INVALID_HANDLE_VALUE
//   brokenpipe  standard output is a pipe whose reading end is closed
//   held:NAME   as file, while NAME in the working directory is held open
//               for writing, shared with readers only
//   ctrlc:N:NAME  as file; once NAME in the working directory holds N bytes
//               or more, CTRL_C_EVENT goes to every process of the console
//               (this launcher lets it pass)
// For every record one line goes to standard output: "exit N" with the exit
// code, or "error TEXT" when the program could not be run.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Record {
  std::string program;
  std::string directory;
  std::string base;
  std::string mode;
  std::string commandLine;
};

bool ReadRecords(const char* path, std::vector<Record>& records) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() % 5 != 0) return false;
  for (std::size_t i = 0; i < lines.size(); i += 5) {
    records.push_back({lines[i], lines[i + 1], lines[i + 2], lines[i + 3], lines[i + 4]});
  }
  return true;
}

HANDLE CreateInheritable(const std::string& name, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  return CreateFileA(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct Drain {
  HANDLE from;
  HANDLE to;
};

DWORD WINAPI DrainPipe(LPVOID param) {
  const Drain* drain = static_cast<const Drain*>(param);
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(drain->from, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    DWORD written = 0;
    WriteFile(drain->to, buffer, n, &written, nullptr);
  }
  return 0;
}

// Runs one record; returns the line to report.
std::string Run(const Record& r) {
  HANDLE input = CreateInheritable("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE error = CreateInheritable(r.base + ".err", GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE output = nullptr;
  HANDLE outFile = INVALID_HANDLE_VALUE;
  HANDLE pipeRead = nullptr;
  if (error == INVALID_HANDLE_VALUE) return "error cannot create " + r.base + ".err";
  // Another process's handle, as an editor holding the file would have it.
  HANDLE held = INVALID_HANDLE_VALUE;
  if (r.mode.compare(0, 5, "held:") == 0) {
    held = CreateFileA((r.directory + "\\" + r.mode.substr(5)).c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return "error cannot hold " + r.mode.substr(5);
  }
  // ctrlc:N:NAME
  std::uint64_t ctrlCAt = 0;
  std::string ctrlCFile;
  if (r.mode.compare(0, 6, "ctrlc:") == 0) {
    const std::size_t colon = r.mode.find(':', 6);
    if (colon == std::string::npos) return "error bad mode " + r.mode;
    ctrlCAt = std::stoull(r.mode.substr(6, colon - 6));
    ctrlCFile = r.directory + "\\" + r.mode.substr(colon + 1);
    // The event goes through a console, shared with the child: one of our
    // own, as Wine gives none to a program started without a terminal.
    FreeConsole();
    if (!AllocConsole()) return "error AllocConsole";
  }
  if (r.mode == "file" || held != INVALID_HANDLE_VALUE || !ctrlCFile.empty()) {
    output = CreateInheritable(r.base + ".out", GENERIC_WRITE, CREATE_ALWAYS);
  } else if (r.mode == "pipe" || r.mode == "brokenpipe") {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    if (!CreatePipe(&pipeRead, &output, &sa, 0)) return "error CreatePipe";
    SetHandleInformation(pipeRead, HANDLE_FLAG_INHERIT, 0);
    if (r.mode == "brokenpipe") {
      CloseHandle(pipeRead);
      pipeRead = nullptr;
    } else {
      outFile = CreateFileA((r.base + ".out").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
  } else if (r.mode == "invalid") {
    output = INVALID_HANDLE_VALUE;
  } else if (r.mode != "closed") {
    return "error unknown mode " + r.mode;
  }

  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = input;
  si.hStdOutput = output;
  si.hStdError = error;
  PROCESS_INFORMATION pi = {};
  std::vector<char> commandLine(r.commandLine.begin(), r.commandLine.end());
  commandLine.push_back('\0');
  const BOOL started = CreateProcessA(r.program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                      0, nullptr, r.directory.c_str(), &si, &pi);
  const DWORD startError = GetLastError();
  // The child holds its own copies; the pipe ends only when they close.
  CloseHandle(input);
  CloseHandle(error);
  if (output != nullptr && output != INVALID_HANDLE_VALUE) CloseHandle(output);

  HANDLE drainThread = nullptr;
  Drain drain = {pipeRead, outFile};
  if (started && pipeRead != nullptr) {
    drainThread = CreateThread(nullptr, 0, DrainPipe, &drain, 0, nullptr);
  }
  std::string report, failed;
  if (started && !ctrlCFile.empty()) {
    // Polls the child's progress: where it is interrupted changes nothing
    // the test checks, as long as it is before the run's end.
    for (;;) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      if (GetFileAttributesExA(ctrlCFile.c_str(), GetFileExInfoStandard, &data) &&
          ((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow) >= ctrlCAt)
        break;
      if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) break;
    }
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
      failed = "error GenerateConsoleCtrlEvent " + std::to_string(GetLastError());
      TerminateProcess(pi.hProcess, 255);
    }
  }
  if (!started) {
    report = "error CreateProcessA " + std::to_string(startError);
  } else {
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
      TerminateProcess(pi.hProcess, 255);
      WaitForSingleObject(pi.hProcess, INFINITE);
      report = "error timeout";
    } else {
      DWORD code = 0;
      GetExitCodeProcess(pi.hProcess, &code);
      report = "exit " + std::to_string(code);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  if (drainThread != nullptr) {
    WaitForSingleObject(drainThread, INFINITE);
    CloseHandle(drainThread);
  }
  if (pipeRead != nullptr) CloseHandle(pipeRead);
  if (outFile != INVALID_HANDLE_VALUE) CloseHandle(outFile);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  return failed.empty() ? report : failed;
}

}  // namespace

// The launcher's own Ctrl-C: handled, so that only the child ends on it.
BOOL WINAPI KeepRunning(DWORD event) { return event == CTRL_C_EVENT; }

int main(int argc, char** argv) {
  SetConsoleCtrlHandler(KeepRunning, TRUE);
  std::vector<Record> records;
  if (argc != 2 || !ReadRecords(argv[1], records)) {
    std::fprintf(stderr, "usage: hivtap_launch BATCHFILE (records of five lines)\n");
    return 2;
  }
  for (const Record& r : records) {
    std::printf("%s\n", Run(r).c_str());
    std::fflush(stdout);
  }
  return 0;
}
