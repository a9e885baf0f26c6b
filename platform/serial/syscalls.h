// File: platform/serial/syscalls.h
//
// The system calls of the termios backend, reached through one replaceable
// table so that a test can make any one of them fail. Every entry returns
// what the system call returns and leaves errno as the call left it.
#pragma once

#include <poll.h>
#include <sys/types.h>
#include <time.h>

#include <cerrno>

namespace mvcomm::serial {

struct Syscalls {
  int (*open)(const char* path, int flags);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* buffer, size_t size);
  ssize_t (*write)(int fd, const void* buffer, size_t size);
  int (*poll)(pollfd* fds, nfds_t count, int timeoutMs);
  int (*ppoll)(pollfd* fds, nfds_t count, const timespec* timeout);  // nanosecond waits
  int (*ioctl)(int fd, unsigned long request, void* argument);
  int (*tcdrain)(int fd);
  int (*tcflush)(int fd, int queue);  // queue: 0 input, 1 output, 2 both
};

// The table in force (the real calls unless a test replaced entries).
Syscalls& syscalls();
// The real calls.
const Syscalls& realSyscalls();

// Runs `call` until it ends with something other than EINTR; returns its
// result, errno as the last attempt left it.
template <typename Call>
auto retryEintr(Call call) {
  for (;;) {
    auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

}  // namespace mvcomm::serial
