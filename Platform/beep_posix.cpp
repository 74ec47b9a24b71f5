#include <fcntl.h>
#include <unistd.h>

#include "Platform/beep.h"

namespace platform {

// The terminal bell goes to the terminal itself, so that it never lands in
// redirected output.
void Beep() {
  const int fd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  const ssize_t written = write(fd, "\a", 1);
  static_cast<void>(written);
  close(fd);
}

}  // namespace platform
