// Writes the end-to-end tests' registry values with their exact bytes, then
// reads each one back:
//   hivtap_seed.exe FILE
// FILE holds one record a line, fields separated by blanks, every name as
// the hexadecimal of its UTF-16LE units ("-" when empty):
//   D ROOT SUBKEY                   deletes the key and all below it
//   V ROOT SUBKEY NAME TYPE DATA    writes a value (TYPE in hexadecimal)
// ROOT is a long root name such as HKEY_CURRENT_USER. Every key is taken in
// the 64-bit view. Prints nothing and exits 0 when every value reads back as
// written; otherwise names the first failure and exits 1.
//
// `reg import` cannot stand in: Wine 8's 64-bit reg.exe faults on string
// data of an odd byte count.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Root {
  const char* name;
  HKEY key;
};
const Root kRoots[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},     {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},   {"HKEY_USERS", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool Fail(const std::string& what, LONG code) {
  std::printf("hivtap_seed: %s: error %ld\n", what.c_str(), static_cast<long>(code));
  return false;
}

bool FromHex(const std::string& text, std::string* bytes) {
  bytes->clear();
  if (text == "-") return true;
  if (text.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(text.c_str() + i, "%2x", &value) != 1) return false;
    bytes->push_back(static_cast<char>(value));
  }
  return true;
}

// A name from its UTF-16LE bytes, NUL-terminated.
std::wstring Wide(const std::string& bytes) {
  std::wstring out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return out;
}

bool DeleteTree(HKEY root, const std::wstring& subkey, const std::string& line) {
  {
    Key key;
    LONG rc = RegOpenKeyExW(root, subkey.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, key.out());
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return Fail("open " + line, rc);
    rc = RegDeleteTreeW(key.get(), nullptr);
    if (rc != ERROR_SUCCESS) return Fail("delete below " + line, rc);
  }
  const LONG rc = RegDeleteKeyExW(root, subkey.c_str(), KEY_WOW64_64KEY, 0);
  return rc == ERROR_SUCCESS ? true : Fail("delete " + line, rc);
}

bool WriteValue(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD type,
                const std::string& data, const std::string& line) {
  Key key;
  LONG rc = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                            nullptr, key.out(), nullptr);
  if (rc != ERROR_SUCCESS) return Fail("create " + line, rc);
  // RegSetValueExW counts one more character for string data whose last
  // character is not NUL while the one after it is, and reads the one before
  // the data when its size is odd: blanks on both sides keep the count exact.
  const std::string padded = "  " + data + "  ";
  rc = RegSetValueExW(key.get(), name.c_str(), 0, type,
                      reinterpret_cast<const BYTE*>(padded.data() + 2),
                      static_cast<DWORD>(data.size()));
  if (rc != ERROR_SUCCESS) return Fail("write " + line, rc);
  std::vector<BYTE> back(data.size() + 16);
  DWORD backType = 0;
  DWORD size = static_cast<DWORD>(back.size());
  rc = RegQueryValueExW(key.get(), name.c_str(), nullptr, &backType, back.data(), &size);
  if (rc != ERROR_SUCCESS) return Fail("read back " + line, rc);
  if (backType != type || size != data.size() || std::memcmp(back.data(), data.data(), size)) {
    std::printf("hivtap_seed: %s reads back as type %lx, %lu bytes\n", line.c_str(),
                static_cast<unsigned long>(backType), static_cast<unsigned long>(size));
    return false;
  }
  return true;
}

bool Apply(const std::string& line) {
  std::istringstream in(line);
  std::string op, rootName, subkeyHex, nameHex, typeHex, dataHex;
  in >> op >> rootName >> subkeyHex;
  HKEY root = nullptr;
  for (const Root& r : kRoots) {
    if (rootName == r.name) root = r.key;
  }
  std::string subkey, name, data;
  if (!root || !FromHex(subkeyHex, &subkey)) return Fail("bad record: " + line, 0);
  if (op == "D") return DeleteTree(root, Wide(subkey), line);
  in >> nameHex >> typeHex >> dataHex;
  unsigned long type = 0;
  if (op != "V" || !FromHex(nameHex, &name) || !FromHex(dataHex, &data) ||
      std::sscanf(typeHex.c_str(), "%lx", &type) != 1) {
    return Fail("bad record: " + line, 0);
  }
  return WriteValue(root, Wide(subkey), Wide(name), static_cast<DWORD>(type), data, line);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hivtap_seed FILE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::printf("hivtap_seed: cannot read %s\n", argv[1]);
    return 1;
  }
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!Apply(line)) return 1;
    ++count;
  }
  return count > 0 ? 0 : 1;
}
