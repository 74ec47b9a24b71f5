// Helpers of the Wine prefix reader's tests: throwaway prefixes and the
// bytes of lookups.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "RegistryFiles/Wine/wine_prefix_store.h"
#include "tests/ansi_store.h"

namespace platform {
namespace testing_util {

inline const std::string kMachine = "\\Registry\\Machine";
inline const std::string kUserSid = "S-1-5-21-1-2-3-1001";

// A throwaway prefix directory, removed with its files.
class TempPrefix {
 public:
  TempPrefix() {
    char tmpl[] = "/tmp/wine_prefix_store_test.XXXXXX";
    dir_ = mkdtemp(tmpl) ? tmpl : "";
  }
  ~TempPrefix() {
    for (const char* f : {"system.reg", "user.reg", "userdef.reg"})
      unlink((dir_ + "/" + f).c_str());
    rmdir(dir_.c_str());
  }
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  void Write(const std::string& file, const std::string& text) const {
    std::ofstream(dir_ + "/" + file, std::ios::binary) << text;
  }
  std::string Read(const std::string& file) const {
    std::ostringstream s;
    s << std::ifstream(dir_ + "/" + file, std::ios::binary).rdbuf();
    return s.str();
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

inline std::string SystemReg(const std::string& body) {
  return "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n" +
         body;
}

inline std::string Utf16Hex(const std::string& ascii) {
  std::string out;
  char buf[8];
  for (unsigned char c : ascii) {
    snprintf(buf, sizeof buf, "%02x,00,", c);
    out += buf;
  }
  out.pop_back();
  return out;
}

// The bytes a query yields, or "<missing>".
inline std::string Query(WinePrefixStore& store, const std::string& key, const std::string& name,
                         std::uint32_t* type = nullptr) {
  StoredValue v;
  if (!ansi_store::QueryValue(store, key, name, &v)) return "<missing>";
  if (type) *type = v.type;
  return v.data;
}

inline std::string Open(WinePrefixStore& store, const std::string& parent, const std::string& sub) {
  std::string path;
  return ansi_store::OpenKey(store, parent, sub, &path) ? path : "<missing>";
}

}  // namespace testing_util
}  // namespace platform
