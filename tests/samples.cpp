#include "tests/samples.h"

#include <lzma.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

class XzReader {
 public:
  XzReader() {
    if (lzma_stream_decoder(&stream_, UINT64_MAX, 0) != LZMA_OK)
      throw std::runtime_error("no xz decoder");
  }
  ~XzReader() { lzma_end(&stream_); }
  XzReader(const XzReader&) = delete;
  XzReader& operator=(const XzReader&) = delete;

  std::string Unpack(const std::string& packed) {
    std::string out;
    stream_.next_in = reinterpret_cast<const std::uint8_t*>(packed.data());
    stream_.avail_in = packed.size();
    for (lzma_ret ret = LZMA_OK; ret != LZMA_STREAM_END;) {
      std::uint8_t chunk[65536];
      stream_.next_out = chunk;
      stream_.avail_out = sizeof chunk;
      ret = lzma_code(&stream_, LZMA_FINISH);
      if (ret != LZMA_OK && ret != LZMA_STREAM_END) throw std::runtime_error("bad xz data");
      out.append(reinterpret_cast<const char*>(chunk), sizeof chunk - stream_.avail_out);
    }
    return out;
  }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

}  // namespace

std::string UnpackSample(const std::string& name) {
  const std::string path = HIVTAP_SAMPLES_DIR "/" + name + ".xz";
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("missing sample file " + path);
  return XzReader().Unpack(std::string(std::istreambuf_iterator<char>(in), {}));
}
