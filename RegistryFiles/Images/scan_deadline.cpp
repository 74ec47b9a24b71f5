#include "RegistryFiles/Images/scan_deadline.h"

#include <cstdlib>

namespace platform {
namespace {

struct Bound {
  ssize_t (*read)(TSK_IMG_INFO*, TSK_OFF_T, char*, size_t) = nullptr;
  std::chrono::steady_clock::time_point deadline;
  bool expired = false;
};

Bound& State() {
  static Bound bound;
  return bound;
}

}  // namespace

ScanDeadline::ScanDeadline(TSK_IMG_INFO* img, std::chrono::steady_clock::time_point deadline)
    : img_(img) {
  Bound& bound = State();
  // Two at once would lose the first one's reader.
  if (bound.read) std::abort();
  bound.read = img->read;
  bound.deadline = deadline;
  bound.expired = false;
  img->read = &ScanDeadline::Read;
}

ScanDeadline::~ScanDeadline() {
  img_->read = State().read;
  State().read = nullptr;
}

bool ScanDeadline::Expired() const { return State().expired; }

ssize_t ScanDeadline::Read(TSK_IMG_INFO* img, TSK_OFF_T offset, char* buffer, size_t size) {
  Bound& bound = State();
  if (bound.expired || std::chrono::steady_clock::now() > bound.deadline) {
    bound.expired = true;
    return -1;
  }
  return bound.read(img, offset, buffer, size);
}

}  // namespace platform
