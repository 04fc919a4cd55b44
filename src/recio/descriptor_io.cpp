// readSome; writeAll, inline in the header, follows the same rules.
#include "descriptor_io.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace recio {

long readSome(int fd, char* into, std::size_t room) noexcept {
  for (;;) {
    const ssize_t n = ::read(fd, into, room);
    if (n >= 0) return static_cast<long>(n);
    const int error = errno;
    if (error == EINTR) continue;
    if (error != EAGAIN && error != EWOULDBLOCK) return -1;
    pollfd waitFor{fd, POLLIN, 0};
    while (::poll(&waitFor, 1, -1) < 0 && errno == EINTR) {
    }
  }
}

}  // namespace recio
