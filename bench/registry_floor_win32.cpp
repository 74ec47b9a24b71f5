// The floor of hivtap.exe's list mode: for each list line, exactly the
// registry calls that one value costs in the tool's design (open with
// 0x20119, two queries without a buffer, then the type's own queries,
// close), with the same text out and the same 128-byte file buffers.
// Usage: bench_registry_floor.exe LIST OUTPUT
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kBufferSize = 128;
constexpr REGSAM kAccess = 0x20119;  // KEY_READ | KEY_WOW64_64KEY

struct Handle {
  HANDLE h;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h) RegCloseKey(h);
  }
};

class Writer {
 public:
  explicit Writer(HANDLE h) : h_(h) {}
  void Write(const std::string& text) {
    for (char c : text) {
      if (used_ == kBufferSize) Flush();
      buffer_[used_++] = c;
    }
  }
  void Flush() {
    DWORD done = 0;
    if (used_ > 0 && (!WriteFile(h_, buffer_, used_, &done, nullptr) || done != used_)) ok_ = false;
    used_ = 0;
  }
  bool ok() const { return ok_; }

 private:
  HANDLE h_;
  char buffer_[kBufferSize];
  DWORD used_ = 0;
  bool ok_ = true;
};

HKEY RootOf(const std::string& name) {
  static const struct {
    const char* shortName;
    const char* longName;
    HKEY root;
  } kRoots[] = {{"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                {"HKU", "HKEY_USERS", HKEY_USERS},
                {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
  for (const auto& r : kRoots) {
    if (_stricmp(name.c_str(), r.shortName) == 0 || _stricmp(name.c_str(), r.longName) == 0)
      return r.root;
  }
  return nullptr;
}

bool Query(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  return RegQueryValueExA(key, name, nullptr, type, data, size) == ERROR_SUCCESS;
}

// The value's text; the calls per type follow the tool's reads.
std::string ReadValue(HKEY root, const std::string& path, const std::string& name) {
  Key key;
  if (RegOpenKeyExA(root, path.c_str(), 0, kAccess, &key.h) != ERROR_SUCCESS) return "";
  const char* n = name.c_str();
  DWORD type = 0, size = 0;
  if (!Query(key.h, n, &type, nullptr, &size)) return "";  // does it exist
  if (!Query(key.h, n, &type, nullptr, &size)) return "";  // its type and size
  char digits[32];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      if (!Query(key.h, n, &type, nullptr, &size) || size == 0) return "";
      std::string data(size, '\0');
      if (!Query(key.h, n, &type, reinterpret_cast<BYTE*>(&data[0]), &size)) return "";
      return std::string(data.c_str(), strnlen(data.c_str(), size));
    }
    case REG_DWORD: {
      LONG v = 0;
      size = sizeof v;
      if (!Query(key.h, n, &type, reinterpret_cast<BYTE*>(&v), &size)) return "";
      std::snprintf(digits, sizeof digits, "%ld", v);
      return digits;
    }
    case REG_QWORD: {
      long long v = 0;
      size = sizeof v;
      if (!Query(key.h, n, &type, reinterpret_cast<BYTE*>(&v), &size)) return "";
      std::snprintf(digits, sizeof digits, "%lld", v);
      return digits;
    }
    case REG_BINARY: {
      BYTE data[254];
      if (!Query(key.h, n, &type, nullptr, &size) || size > sizeof data) return "";
      if (!Query(key.h, n, &type, data, &size)) return "";
      std::string text;
      for (DWORD i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", data[i]);
        text += digits;
      }
      return text;
    }
    case REG_MULTI_SZ: {
      if (!Query(key.h, n, &type, nullptr, &size) || size == 0) return "";  // its size
      std::string data(size, '\0');
      DWORD want = size;
      if (!Query(key.h, n, &type, nullptr, &want) || want > size) return "";  // kind, fit
      if (!Query(key.h, n, &type, reinterpret_cast<BYTE*>(&data[0]), &want)) return "";
      std::string text, current;
      for (DWORD i = 0; i + 1 < size; ++i) {
        if (data[i] == '\0') {
          text += current;
          if (i + 2 != size) text += "\r\n";
          current.clear();
        } else {
          current += data[i];
        }
      }
      return text;
    }
    default:
      return "";
  }
}

// A key line HKEY\SUBKEY\NAME, without labels: its result line.
std::string ResultOf(const std::string& line) {
  const std::size_t first = line.find('\\');
  const std::size_t last = line.rfind('\\');
  if (first == std::string::npos) return line;
  const HKEY root = RootOf(line.substr(0, first));
  if (!root) return line;
  const std::string path = line.substr(first + 1, last - first);  // trailing '\' kept
  return ReadValue(root, first == last ? "" : path, line.substr(last + 1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s LIST OUTPUT\n", argv[0]);
    return 2;
  }
  Handle list{
      CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)};
  Handle output{
      CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr)};
  if (list.h == INVALID_HANDLE_VALUE || output.h == INVALID_HANDLE_VALUE) return 2;
  SetFilePointer(output.h, 0, nullptr, FILE_END);
  Writer file(output.h);
  char buffer[kBufferSize];
  std::string line;
  DWORD got = 0;
  while (ReadFile(list.h, buffer, kBufferSize, &got, nullptr) && got > 0) {
    for (DWORD i = 0; i < got; ++i) {
      if (buffer[i] == '\n') {
        file.Write(ResultOf(line) + "\r\n");
        line.clear();
      } else if (buffer[i] != '\r') {
        line += buffer[i];
      }
    }
  }
  if (!line.empty()) file.Write(ResultOf(line) + "\r\n");
  file.Flush();
  return file.ok() ? 0 : 1;
}
