// A bound on the Sleuth Kit's work while it looks for Windows in an image:
// past the deadline every read of the image fails, and the library's walks
// of tables and file systems end on the error. No image can then hold a run
// without end, whatever loop its structures lead the library into.
#pragma once

#include <tsk/libtsk.h>

#include <chrono>

namespace platform {

// How long opening an image may take: a scan of a sound one takes well
// under a second.
constexpr std::chrono::seconds kImageScanLimit(60);

// One at a time: the library's read hook has no room for a context.
class ScanDeadline {
 public:
  ScanDeadline(TSK_IMG_INFO* img, std::chrono::steady_clock::time_point deadline);
  ~ScanDeadline();
  ScanDeadline(const ScanDeadline&) = delete;
  ScanDeadline& operator=(const ScanDeadline&) = delete;

  // Whether a read was refused for the deadline.
  bool Expired() const;

 private:
  static ssize_t Read(TSK_IMG_INFO* img, TSK_OFF_T offset, char* buffer, size_t size);

  TSK_IMG_INFO* img_;
};

}  // namespace platform
