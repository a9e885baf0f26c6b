// File: platform/serial/termios_port.cpp
//
// The termios backend. This file includes only the kernel's termios2
// definitions (<asm/termbits.h>): glibc's <termios.h> redefines the same
// structures, and its B-constants must not reach TCSETS2.
//
// Sections: helpers; open and close; settings; line control; data.
#include "platform/serial/termios_port.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <new>
#include <cerrno>

#include "platform/serial/port_name.h"
#include "platform/serial/syscalls.h"

namespace mvcomm::serial {

// ---- helpers -----------------------------------------------------------------

namespace {

int lastError() { return errno != 0 ? errno : EIO; }

// The DTR bit of TIOCMBIS/TIOCMBIC (<asm/termios.h> would clash with termbits).
constexpr int kModemDtr = 0x002;

int ioctlRetry(int fd, unsigned long request, void* argument) {
  return retryEintr([&] { return syscalls().ioctl(fd, request, argument); });
}

// UNIX98 pseudo-terminal slaves have majors 136..143.
bool isPtySlave(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  unsigned m = major(st.st_rdev);
  return m >= 136 && m <= 143;
}

tcflag_t dataBitsFlag(std::uint8_t bits) {
  switch (bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

// Rates of the classic B-constants, for a device set by someone else.
std::uint32_t rateOfCode(tcflag_t code) {
  static constexpr struct { tcflag_t code; std::uint32_t rate; } kRates[] = {
      {B50, 50},       {B75, 75},       {B110, 110},     {B134, 134},     {B150, 150},
      {B200, 200},     {B300, 300},     {B600, 600},     {B1200, 1200},   {B1800, 1800},
      {B2400, 2400},   {B4800, 4800},   {B9600, 9600},   {B19200, 19200}, {B38400, 38400},
      {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
  for (const auto& r : kRates) {
    if (r.code == code) return r.rate;
  }
  return 0;
}

}  // namespace

// ---- open and close --------------------------------------------------------------

int TermiosPort::open(const std::string& path, std::unique_ptr<SerialPort>& port) {
  int fd = retryEintr([&] { return syscalls().open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) return lastError();
  auto fail = [&](int error) {
    syscalls().close(fd);
    return error;
  };
  termios2 t{};
  if (ioctlRetry(fd, TCGETS2, &t) != 0) return fail(lastError());
  if (ioctlRetry(fd, TIOCEXCL, nullptr) != 0) return fail(lastError());
  // Raw: no break, parity or CR/NL handling on input, no flow control, no
  // output processing, no canonical mode, echo or signal characters. INPCK
  // stays off so a byte is delivered whatever its ninth bit.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                       IXON | IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (ioctlRetry(fd, TCSETS2, &t) != 0) return fail(lastError());
  auto* opened = new (std::nothrow) TermiosPort(fd, isPtySlave(fd));
  if (opened == nullptr) return fail(ENOMEM);
  port.reset(opened);
  return 0;
}

TermiosPort::~TermiosPort() {
  if (fd_ >= 0) syscalls().close(fd_);
}

int TermiosPort::close() {
  if (fd_ < 0) return EBADF;
  int fd = fd_;
  fd_ = -1;
  // No retry after EINTR: Linux has released the descriptor already.
  if (syscalls().close(fd) != 0 && errno != EINTR) return lastError();
  return 0;
}

int TermiosPort::hungUpCheck() {
  if (fd_ < 0) return EBADF;
  return hungUp_ ? EIO : 0;
}

// ---- settings ----------------------------------------------------------------------

int TermiosPort::drain() {
  if (int e = hungUpCheck()) return e;
  if (retryEintr([&] { return syscalls().tcdrain(fd_); }) != 0) return lastError();
  return 0;
}

int TermiosPort::applySettings(const LineSettings& settings) {
  if (settings.baud == 0 || settings.dataBits < 5 || settings.dataBits > 8) return EINVAL;
  if (int e = drain()) return e;
  termios2 t{};
  if (ioctlRetry(fd_, TCGETS2, &t) != 0) return lastError();
  // Clear every parity bit first: a CMSPAR left from mark would turn a later
  // even or odd setting into space or mark.
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB |
                                       PARODD | CMSPAR);
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | dataBitsFlag(settings.dataBits);
  if (settings.stopBits != StopBits::kOne) t.c_cflag |= CSTOPB;
  switch (settings.parity) {
    case Parity::kNone: break;
    case Parity::kOdd: t.c_cflag |= PARENB | PARODD; break;
    case Parity::kEven: t.c_cflag |= PARENB; break;
    case Parity::kMark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case Parity::kSpace: t.c_cflag |= PARENB | CMSPAR; break;
  }
  t.c_ispeed = settings.baud;
  t.c_ospeed = settings.baud;
  if (ioctlRetry(fd_, TCSETS2, &t) != 0) return lastError();

  // Some drivers drop CMSPAR or refuse a rate silently: read back. Parity
  // selects the terminals and must hold exactly; some USB adapters report
  // the rate their divisor makes (2400 for 2450), which the line carries.
  LineSettings back;
  if (int e = readSettings(back)) return e;
  if (back.parity != settings.parity || back.dataBits != settings.dataBits ||
      !rateWithinTolerance(back.baud, settings.baud)) {
    return EINVAL;
  }
  return 0;
}

int TermiosPort::readSettings(LineSettings& settings) {
  if (int e = hungUpCheck()) return e;
  termios2 t{};
  if (ioctlRetry(fd_, TCGETS2, &t) != 0) return lastError();
  LineSettings s;
  tcflag_t code = t.c_cflag & CBAUD;
  s.baud = code == BOTHER ? t.c_ospeed : rateOfCode(code);
  // A pseudo-terminal always reads PARENB back cleared but keeps CMSPAR and
  // PARODD, so mark and space still show there.
  bool parity = (t.c_cflag & PARENB) != 0 || (pty_ && (t.c_cflag & CMSPAR) != 0);
  if (!parity) {
    s.parity = Parity::kNone;
  } else if (t.c_cflag & CMSPAR) {
    s.parity = (t.c_cflag & PARODD) ? Parity::kMark : Parity::kSpace;
  } else {
    s.parity = (t.c_cflag & PARODD) ? Parity::kOdd : Parity::kEven;
  }
  switch (t.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
  }
  s.stopBits = (t.c_cflag & CSTOPB) ? (s.dataBits == 5 ? StopBits::kOnePointFive : StopBits::kTwo)
                                    : StopBits::kOne;
  settings = s;
  return 0;
}

// ---- line control ----------------------------------------------------------------

int TermiosPort::purge(unsigned flags) {
  if (int e = hungUpCheck()) return e;
  if (flags & kPurgeTxClear) {
    if (int e = drain()) return e;
  }
  if (flags & (kPurgeTxClear | kPurgeTxAbort)) {
    if (retryEintr([&] { return syscalls().tcflush(fd_, TCOFLUSH); }) != 0) return lastError();
  }
  if (flags & (kPurgeRxClear | kPurgeRxAbort)) {
    if (retryEintr([&] { return syscalls().tcflush(fd_, TCIFLUSH); }) != 0) return lastError();
  }
  return 0;
}

int TermiosPort::setDtr(bool on) {
  if (int e = drain()) return e;
  int bits = kModemDtr;
  if (ioctlRetry(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
    // No modem lines (a pseudo-terminal): nothing to raise or lower.
    if (errno == ENOTTY || errno == EINVAL) return 0;
    return lastError();
  }
  return 0;
}

// ---- data ------------------------------------------------------------------------------

int TermiosPort::writeByte(std::uint8_t byte) {
  if (int e = hungUpCheck()) return e;
  for (int spins = 0;; ++spins) {
    ssize_t n = retryEintr([&] { return syscalls().write(fd_, &byte, 1); });
    if (n == 1) return 0;
    if (n < 0 && errno != EAGAIN) {
      int e = lastError();
      if (e == EIO) hungUp_ = true;
      return e;
    }
    // Output queue full: wait for room, at most 5 s (a byte takes < 5 ms).
    if (spins >= 2) return ETIMEDOUT;
    pollfd p{fd_, POLLOUT, 0};
    int r = retryEintr([&] { return syscalls().poll(&p, 1, 5000); });
    if (r < 0) return lastError();
    if (p.revents & (POLLHUP | POLLERR)) {
      hungUp_ = true;
      return EIO;
    }
  }
}

int TermiosPort::read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) {
  got = 0;
  if (int e = hungUpCheck()) return e;
  if (capacity == 0) return 0;
  ssize_t n = retryEintr([&] { return syscalls().read(fd_, buffer, capacity); });
  if (n > 0) {
    got = static_cast<std::size_t>(n);
    return 0;
  }
  if (n < 0 && errno != EAGAIN) {
    int e = lastError();
    if (e == EIO) hungUp_ = true;
    return e;
  }
  // Nothing waiting, or the other end is gone (a hung-up device also reads 0).
  pollfd p{fd_, POLLIN, 0};
  int r = retryEintr([&] { return syscalls().poll(&p, 1, 0); });
  if (r < 0) return lastError();
  if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
    hungUp_ = true;
    return EIO;
  }
  return 0;
}

int TermiosPort::waitReadable(Clock::time_point deadline, bool& readable) {
  readable = false;
  if (int e = hungUpCheck()) return e;
  for (;;) {
    auto now = MonotonicClock::instance().now();
    if (now >= deadline) return 0;
    // Nanosecond time-out: a millisecond poll would end up to 1 ms late.
    auto left = std::min<Clock::duration>(deadline - now, std::chrono::seconds(60));
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(left).count());
    timeout.tv_nsec = static_cast<long>((left - std::chrono::seconds(timeout.tv_sec)).count());
    pollfd p{fd_, POLLIN, 0};
    int r = syscalls().ppoll(&p, 1, &timeout);
    if (r < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    if (r == 0) continue;  // time-out: the loop re-checks the deadline
    if (p.revents & POLLIN) {
      readable = true;
      return 0;
    }
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      hungUp_ = true;
      return EIO;
    }
  }
}

int TermiosPortOpener::open(const std::string& name, std::unique_ptr<SerialPort>& port) {
  std::string path;
  if (int e = resolvePortName(name, path)) return e;
  return TermiosPort::open(path, port);
}

}  // namespace mvcomm::serial
