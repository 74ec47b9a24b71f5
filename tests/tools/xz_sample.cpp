#include "tests/tools/xz_sample.h"

#include <lzma.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace hivefix {

std::string UnpackXz(const std::string& packed) {
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_stream_decoder(&stream, UINT64_MAX, 0) != LZMA_OK)
    throw std::runtime_error("no xz decoder");
  const std::unique_ptr<lzma_stream, void (*)(lzma_stream*)> guard(&stream, lzma_end);
  std::string out;
  stream.next_in = reinterpret_cast<const std::uint8_t*>(packed.data());
  stream.avail_in = packed.size();
  for (lzma_ret ret = LZMA_OK; ret != LZMA_STREAM_END;) {
    std::uint8_t chunk[65536];
    stream.next_out = chunk;
    stream.avail_out = sizeof chunk;
    ret = lzma_code(&stream, LZMA_FINISH);
    if (ret != LZMA_OK && ret != LZMA_STREAM_END) throw std::runtime_error("bad xz data");
    out.append(reinterpret_cast<const char*>(chunk), sizeof chunk - stream.avail_out);
  }
  return out;
}

std::string SampleFile(const std::string& name) {
  const std::string path = HIVTAP_SAMPLES_DIR "/" + name + ".xz";
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("missing sample file " + path);
  return UnpackXz(std::string(std::istreambuf_iterator<char>(in), {}));
}

}  // namespace hivefix
