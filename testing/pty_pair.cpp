// File: testing/pty_pair.cpp
//
// Only the kernel's termios2 header here (glibc's <termios.h> clashes).
#include "testing/pty_pair.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace mvcomm::testing {

PtyPair::PtyPair(int comNumber) : com_(comNumber) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  slave_ = ptsname(master_);
  setenv(("MVCOMM_COM" + std::to_string(com_)).c_str(), slave_.c_str(), 1);
}

PtyPair::~PtyPair() {
  unsetenv(("MVCOMM_COM" + std::to_string(com_)).c_str());
  closeMaster();
}

void PtyPair::closeMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void PtyPair::send(const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      throw std::runtime_error("master write failed");
    } else {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

std::vector<std::uint8_t> PtyPair::receive(std::size_t count, int timeoutMs) {
  std::vector<std::uint8_t> out;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out.size() < count) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    std::uint8_t buffer[512];
    ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n > 0) out.insert(out.end(), buffer, buffer + n);
    else if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
  }
  return out;
}

PtyPair::Seen PtyPair::settings() const {
  termios2 t{};
  if (ioctl(master_, TCGETS2, &t) != 0) return {0, 0};
  return {t.c_cflag, t.c_ospeed};
}

}  // namespace mvcomm::testing
