// File: tools/mvcomm-sim/pty_settings.cpp
//
// termios2 lives in <asm/termbits.h>, which cannot share a file with
// <termios.h>: this file includes only the former.
#include "tools/mvcomm-sim/pty_settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace mvcomm::sim {

int readPtySettings(int masterFd, serial::LineSettings& settings) {
  struct termios2 t {};
  if (::ioctl(masterFd, TCGETS2, &t) != 0) return errno;
  settings.baud = t.c_ospeed;
  settings.dataBits = 8;
  if ((t.c_cflag & CMSPAR) != 0) {
    settings.parity = (t.c_cflag & PARODD) != 0 ? serial::Parity::kMark : serial::Parity::kSpace;
  } else if ((t.c_cflag & PARENB) != 0) {
    settings.parity = (t.c_cflag & PARODD) != 0 ? serial::Parity::kOdd : serial::Parity::kEven;
  } else {
    settings.parity = serial::Parity::kNone;
  }
  settings.stopBits = (t.c_cflag & CSTOPB) != 0 ? serial::StopBits::kTwo : serial::StopBits::kOne;
  return 0;
}

int makeRaw(int fd) {
  struct termios2 t {};
  if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | INPCK);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = t.c_ospeed = 2400;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (::ioctl(fd, TCSETS2, &t) != 0) return errno;
  return 0;
}

}  // namespace mvcomm::sim
