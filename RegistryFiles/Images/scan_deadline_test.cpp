// The bound on the Sleuth Kit's scan: its reads pass before the deadline and
// fail after it, and the library's own reader is back once the scan ends.
#include "RegistryFiles/Images/scan_deadline.h"

#include <gtest/gtest.h>

#include <memory>

namespace platform {
namespace {

int g_reads = 0;

ssize_t CountingRead(TSK_IMG_INFO*, TSK_OFF_T, char*, size_t size) {
  ++g_reads;
  return static_cast<ssize_t>(size);
}

TEST(ScanDeadlineTest, ReadsFailPastTheDeadline) {
  // Large (its read cache): on the heap.
  auto img = std::make_unique<TSK_IMG_INFO>();
  img->read = &CountingRead;
  char buffer[16];
  const auto now = std::chrono::steady_clock::now();
  struct Row {
    const char* name;
    std::chrono::steady_clock::time_point deadline;
    ssize_t result;
    bool expired;
    int reads;  // reaching the library's reader
  };
  const Row rows[] = {
      {"before the deadline", now + std::chrono::hours(1), 16, false, 1},
      {"past the deadline", now - std::chrono::seconds(1), -1, true, 0},
  };
  for (const Row& row : rows) {
    g_reads = 0;
    {
      ScanDeadline deadline(img.get(), row.deadline);
      EXPECT_EQ(img->read(img.get(), 0, buffer, sizeof buffer), row.result) << row.name;
      EXPECT_EQ(deadline.Expired(), row.expired) << row.name;
    }
    EXPECT_EQ(g_reads, row.reads) << row.name;
    EXPECT_EQ(img->read, &CountingRead) << row.name;
  }
}

}  // namespace
}  // namespace platform
