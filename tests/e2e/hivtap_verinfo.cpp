// Prints the version record of an executable, for the end-to-end tests:
//   hivtap_verinfo.exe PROGRAM
// One line each: the fixed file and product versions, every translation
// (language and code page in hexadecimal) and, for each translation, the
// strings FileDescription, FileVersion and ProductVersion.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void PrintString(const std::vector<char>& data, const char* block, const char* name) {
  const std::string query = std::string("\\StringFileInfo\\") + block + "\\" + name;
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data.data(), query.c_str(), &value, &length) && length > 0) {
    std::printf("%s %s=%s\n", block, name, static_cast<const char*>(value));
  } else {
    std::printf("%s %s missing\n", block, name);
  }
}

void PrintVersion(const char* what, DWORD high, DWORD low) {
  std::printf("%s %u.%u.%u.%u\n", what, static_cast<unsigned>(HIWORD(high)),
              static_cast<unsigned>(LOWORD(high)), static_cast<unsigned>(HIWORD(low)),
              static_cast<unsigned>(LOWORD(low)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hivtap_verinfo PROGRAM\n");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(argv[1], &ignored);
  if (size == 0) {
    std::printf("no version record\n");
    return 1;
  }
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(argv[1], 0, size, data.data())) {
    std::printf("GetFileVersionInfoA failed\n");
    return 1;
  }
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    PrintVersion("FileVersion", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    PrintVersion("ProductVersion", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  } else {
    std::printf("no fixed version\n");
  }
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length)) {
    std::printf("no translation\n");
    return 0;
  }
  const WORD* pairs = static_cast<const WORD*>(value);
  for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) {
    char block[32];
    std::snprintf(block, sizeof block, "%04X%04X", static_cast<unsigned>(pairs[i]),
                  static_cast<unsigned>(pairs[i + 1]));
    std::printf("Translation %04X %u\n", static_cast<unsigned>(pairs[i]),
                static_cast<unsigned>(pairs[i + 1]));
    PrintString(data, block, "FileDescription");
    PrintString(data, block, "FileVersion");
    PrintString(data, block, "ProductVersion");
  }
  return 0;
}
