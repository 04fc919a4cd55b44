// Reading and writing a descriptor whatever it is: a call interrupted by a
// signal is made again, and a descriptor that whoever started us set
// non-blocking is waited for with poll (itself made again when interrupted)
// rather than given up on; a wait refused for another reason is followed by
// the call again, which then tells what stands in its way. What a refusal
// means is the caller's to decide.
#pragma once

#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

namespace recio {

// One read of up to `room` bytes into `into`: the count read, 0 at the end
// of the input, or -1 with errno set by the refused read. It may wait: a
// caller that holds output back calls OutputStream::beforeWaitingForInput
// first.
long readSome(int fd, char* into, std::size_t room) noexcept;

// Writes the bytes of the two pieces in order, all of them unless refused,
// at most `mostPerCall` to a call: with write(2) while the bytes of a call
// are those of one piece, with writev(2) when they span both. Returns 0, or
// the errno of the refusal (EIO for a write that took nothing and gave no
// reason); `done` counts the bytes the descriptor took, and the pieces are
// left at the bytes not written.
// Inline: the writers of the output streams inline it where they are inlined.
inline int writeAll(int fd, iovec (&pieces)[2], std::size_t mostPerCall,
                    std::size_t& done) noexcept {
  done = 0;
  for (;;) {
    if (pieces[0].iov_len == 0) {
      pieces[0] = pieces[1];
      pieces[1].iov_len = 0;
      if (pieces[0].iov_len == 0) return 0;
    }
    const std::size_t first = std::min(pieces[0].iov_len, mostPerCall);
    const std::size_t second = std::min(pieces[1].iov_len, mostPerCall - first);
    iovec call[2] = {{pieces[0].iov_base, first}, {pieces[1].iov_base, second}};
    const ssize_t written =
        second == 0 ? ::write(fd, call[0].iov_base, first) : ::writev(fd, call, 2);
    if (written > 0) {
      const auto n = static_cast<std::size_t>(written);
      done += n;
      const std::size_t fromFirst = std::min(n, pieces[0].iov_len);
      pieces[0].iov_base = static_cast<char*>(pieces[0].iov_base) + fromFirst;
      pieces[0].iov_len -= fromFirst;
      pieces[1].iov_base = static_cast<char*>(pieces[1].iov_base) + (n - fromFirst);
      pieces[1].iov_len -= n - fromFirst;
      continue;
    }
    if (written == 0) return EIO;  // no progress and no reason given
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      pollfd waitFor{fd, POLLOUT, 0};
      while (::poll(&waitFor, 1, -1) < 0 && errno == EINTR) {
      }
      continue;
    }
    return error;
  }
}

// The `n` bytes at `bytes`, as many to a call as the descriptor takes.
inline int writeAll(int fd, const char* bytes, std::size_t n) noexcept {
  iovec pieces[2] = {{const_cast<char*>(bytes), n}, {nullptr, 0}};
  std::size_t done = 0;
  return writeAll(fd, pieces, n, done);
}

}  // namespace recio
