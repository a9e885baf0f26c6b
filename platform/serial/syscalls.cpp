// File: platform/serial/syscalls.cpp
//
// The real system calls behind the replaceable table. Drain and flush go
// through ioctl (TCSBRK, TCFLSH) because <termios.h> and the termios2
// definitions cannot share a file.
#include "platform/serial/syscalls.h"

#include <asm/ioctls.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace mvcomm::serial {

namespace {

int realOpen(const char* path, int flags) { return ::open(path, flags); }
int realClose(int fd) { return ::close(fd); }
ssize_t realRead(int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); }
ssize_t realWrite(int fd, const void* buffer, size_t size) { return ::write(fd, buffer, size); }
int realPoll(pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); }
int realPpoll(pollfd* fds, nfds_t count, const timespec* timeout) {
  return ::ppoll(fds, count, timeout, nullptr);
}
int realIoctl(int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); }
// TCSBRK with a non-zero argument waits until the output has been sent.
int realTcdrain(int fd) { return ::ioctl(fd, TCSBRK, 1); }
int realTcflush(int fd, int queue) { return ::ioctl(fd, TCFLSH, queue); }

constexpr Syscalls kReal = {realOpen, realClose, realRead, realWrite,
                            realPoll, realPpoll, realIoctl, realTcdrain, realTcflush};

}  // namespace

const Syscalls& realSyscalls() { return kReal; }

Syscalls& syscalls() {
  static Syscalls table = kReal;
  return table;
}

}  // namespace mvcomm::serial
