// File: tests/serial/termios_port_test.cpp
//
// The termios backend in real time over a pseudo-terminal, plus the mode
// string and port name parsers, and system calls failing on demand.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/serial/mode_string.h"
#include "platform/serial/port_name.h"
#include "platform/serial/syscalls.h"
#include "platform/serial/termios_port.h"
#include "testing/pty_pair.h"

namespace mvcomm::serial {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// ---- parsers ------------------------------------------------------------------------------

TEST(ModeString, ParsesTheClassStrings) {
  struct Case {
    const char* mode;
    int error;
    LineSettings expected;
  };
  const LineSettings base{9600, Parity::kNone, 7, StopBits::kTwo};
  const Case cases[] = {
      {"COM1:2400,S,8,1", 0, {2400, Parity::kSpace, 8, StopBits::kOne}},
      {"COM25:2400,M,8,1", 0, {2400, Parity::kMark, 8, StopBits::kOne}},
      {"2400,e,7,2", 0, {2400, Parity::kEven, 7, StopBits::kTwo}},
      {"COM1:4800,o,5,1.5", 0, {4800, Parity::kOdd, 5, StopBits::kOnePointFive}},
      {"COM1: 19200 , N , 8 , 1", 0, {19200, Parity::kNone, 8, StopBits::kOne}},
      {"COM1:2400", 0, {2400, Parity::kNone, 7, StopBits::kTwo}},  // the rest kept
      {"COM1:2400,X,8,1", EINVAL, base},
      {"COM1:2400,S,9,1", EINVAL, base},
      {"COM1:2400,S,4,1", EINVAL, base},
      {"COM1:2400,S,8,3", EINVAL, base},
      {"COM1:0,S,8,1", EINVAL, base},
      {"COM1:-2400,S,8,1", EINVAL, base},
      {"COM1:99999999999,S,8,1", EINVAL, base},
      {"COM1:2400,S,8,1,1", EINVAL, base},
      {"COM1:", EINVAL, base},
      {"", EINVAL, base},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    LineSettings s = base;
    EXPECT_EQ(parseModeString(c.mode, s), c.error);
    EXPECT_EQ(s, c.expected);
  }
}

TEST(ModeString, ParityLetterParsesBackToItsParity) {
  constexpr struct {
    Parity parity;
    char letter;
  } kCases[] = {{Parity::kNone, 'N'},
                {Parity::kOdd, 'O'},
                {Parity::kEven, 'E'},
                {Parity::kMark, 'M'},
                {Parity::kSpace, 'S'}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.letter);
    EXPECT_EQ(parityLetter(c.parity), c.letter);
    LineSettings s{9600, c.parity == Parity::kNone ? Parity::kSpace : Parity::kNone, 8,
                   StopBits::kOne};
    ASSERT_EQ(parseModeString(std::string("COM1:2400,") + c.letter + ",8,1", s), 0);
    EXPECT_EQ(s.parity, c.parity);
  }
  EXPECT_EQ(parityLetter(static_cast<Parity>(99)), '?');
}

TEST(PortName, ResolvesComNumbers) {
  unsetenv("MVCOMM_COM7");
  struct Case {
    const char* name;
    int error;
    const char* path;
  };
  const Case cases[] = {{"COM1", 0, "/dev/ttyS0"},   {"COM25", 0, "/dev/ttyS24"},
                        {"COM7", 0, "/dev/ttyS6"},   {"COM0", ENOENT, ""},
                        {"COM", ENOENT, ""},         {"COM-1", ENOENT, ""},
                        {"COM1x", ENOENT, ""},       {"LPT1", ENOENT, ""},
                        {"COM01", ENOENT, ""},       {"COM99999999999", ENOENT, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = "untouched";
    EXPECT_EQ(resolvePortName(c.name, path), c.error);
    EXPECT_EQ(path, c.error ? std::string("untouched") : std::string(c.path));
  }
  setenv("MVCOMM_COM7", "/dev/ttyUSB3", 1);
  std::string path;
  EXPECT_EQ(resolvePortName("COM7", path), 0);
  EXPECT_EQ(path, "/dev/ttyUSB3");
  unsetenv("MVCOMM_COM7");
}

// ---- a pseudo-terminal as the line -----------------------------------------------------

class TermiosPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(TermiosPortOpener().open(pty.portName(), port), 0);
    ASSERT_TRUE(port);
  }
  void TearDown() override { syscalls() = realSyscalls(); }

  Bytes readFor(std::size_t count, std::chrono::milliseconds within) {
    Bytes out;
    auto deadline = MonotonicClock::instance().now() + within;
    while (out.size() < count) {
      std::uint8_t buffer[512];
      std::size_t got = 0;
      if (port->read(buffer, sizeof buffer, got) != 0) break;
      out.insert(out.end(), buffer, buffer + got);
      if (got > 0) continue;
      bool readable = false;
      if (port->waitReadable(deadline, readable) != 0 || !readable) break;
    }
    return out;
  }

  testing::PtyPair pty{41};
  std::unique_ptr<SerialPort> port;
};

TEST_F(TermiosPty, EveryByteValuePassesBothWaysUnchanged) {
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  for (std::uint8_t b : all) ASSERT_EQ(port->writeByte(b), 0);
  EXPECT_EQ(pty.receive(256, 2000), all);
  pty.send(all);
  EXPECT_EQ(readFor(256, 2000ms), all);
}

TEST_F(TermiosPty, SettingsAreReadBackAsSet) {
  struct Case {
    LineSettings set;
    bool cmspar;
    bool parodd;
  };
  const Case cases[] = {{{2400, Parity::kSpace, 8, StopBits::kOne}, true, false},
                        {{2450, Parity::kMark, 8, StopBits::kOne}, true, true},
                        {{4937, Parity::kSpace, 8, StopBits::kOne}, true, false},
                        {{10416, Parity::kMark, 8, StopBits::kOne}, true, true},
                        {{15625, Parity::kSpace, 8, StopBits::kOne}, true, false},
                        {{2403, Parity::kNone, 8, StopBits::kOne}, false, false},
                        // Mark to none must not leave CMSPAR behind.
                        {{2450, Parity::kMark, 8, StopBits::kOne}, true, true},
                        {{9600, Parity::kNone, 8, StopBits::kOne}, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set.baud);
    ASSERT_EQ(port->applySettings(c.set), 0);
    LineSettings back;
    ASSERT_EQ(port->readSettings(back), 0);
    EXPECT_EQ(back, c.set);
    auto seen = pty.settings();
    EXPECT_EQ(seen.ospeed, c.set.baud);
    EXPECT_EQ((seen.cflag & testing::PtyPair::kCmspar) != 0, c.cmspar);
    EXPECT_EQ((seen.cflag & testing::PtyPair::kParodd) != 0, c.parodd);
  }
}

TEST_F(TermiosPty, NoReplyTimesOutAtTheDeadlineWithoutSpinning) {
  auto start = MonotonicClock::instance().now();
  bool readable = true;
  ASSERT_EQ(port->waitReadable(start + 120ms, readable), 0);
  auto took = MonotonicClock::instance().now() - start;
  EXPECT_FALSE(readable);
  EXPECT_GE(took, 120ms);
  EXPECT_LT(took, 1000ms);
  std::uint8_t b;
  std::size_t got = 9;
  EXPECT_EQ(port->read(&b, 1, got), 0);
  EXPECT_EQ(got, 0u);
}

TEST_F(TermiosPty, PurgeDropsWhatWasReceived) {
  pty.send({1, 2, 3});
  bool readable = false;
  ASSERT_EQ(port->waitReadable(MonotonicClock::instance().now() + 1000ms, readable), 0);
  ASSERT_TRUE(readable);
  EXPECT_EQ(port->purge(kPurgeTxClear), 0);
  EXPECT_EQ(port->purge(kPurgeRxClear), 0);
  EXPECT_TRUE(readFor(3, 50ms).empty());
  pty.send({4});
  EXPECT_EQ(readFor(1, 1000ms), Bytes{4});
}

TEST_F(TermiosPty, DtrWithoutModemLinesIsANoOp) {
  EXPECT_EQ(port->setDtr(false), 0);
  EXPECT_EQ(port->setDtr(true), 0);
}

TEST_F(TermiosPty, HangUpIsAnErrorNotAHang) {
  pty.send({9});
  pty.closeMaster();
  // The byte sent before the hang-up may or may not survive; after it every
  // wait and read ends at once with an error instead of reading nothing.
  auto start = MonotonicClock::instance().now();
  int error = 0;
  for (int i = 0; i < 10 && error == 0; ++i) {
    std::uint8_t buffer[16];
    std::size_t got = 0;
    error = port->read(buffer, sizeof buffer, got);
    if (error == 0 && got == 0) {
      bool readable = false;
      error = port->waitReadable(MonotonicClock::instance().now() + 5000ms, readable);
    }
  }
  EXPECT_EQ(error, EIO);
  EXPECT_LT(MonotonicClock::instance().now() - start, 1000ms);
  EXPECT_EQ(port->writeByte(1), EIO);
  EXPECT_EQ(port->purge(kPurgeRxClear), EIO);
}

TEST_F(TermiosPty, CloseThenEveryCallFailsWithBadDescriptor) {
  EXPECT_EQ(port->close(), 0);
  EXPECT_EQ(port->close(), EBADF);
  EXPECT_EQ(port->writeByte(1), EBADF);
  LineSettings s;
  EXPECT_EQ(port->readSettings(s), EBADF);
}

TEST(TermiosOpen, ErrorsOfPortsThatCannotBeOpened) {
  struct Case {
    const char* path;
    int error;
  };
  const Case cases[] = {{"/dev/ttyS_does_not_exist", ENOENT}, {"/dev/null", ENOTTY}, {"/tmp", EISDIR}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    setenv("MVCOMM_COM42", c.path, 1);
    std::unique_ptr<SerialPort> port;
    EXPECT_EQ(TermiosPortOpener().open("COM42", port), c.error);
    EXPECT_FALSE(port);
  }
  unsetenv("MVCOMM_COM42");
}

// ---- system calls failing on demand ---------------------------------------------------------

int gFailures = 0;  // how many more calls of the replaced entry fail
int gError = 0;

// What a driver reads back after TCSETS2: the kernel's termios2 (44 bytes on
// Linux; <asm/termbits.h> cannot share a file with <termios.h>).
struct ReadBack {
  std::uint32_t iflag, oflag, cflag, lflag;
  std::uint8_t line, cc[19];
  std::uint32_t ispeed, ospeed;
};
static_assert(sizeof(ReadBack) == 44);
constexpr unsigned long kTcgets2 = 0x802C542A;

std::uint32_t (*gKeptRate)(std::uint32_t) = nullptr;  // the rate the fake driver reports
bool gDropCmspar = false;

TEST_F(TermiosPty, ARateReadBackWithinThreePercentPassesParityMustHold) {
  struct Case {
    const char* driver;
    std::uint32_t (*kept)(std::uint32_t);
    bool dropCmspar;
    Parity parity;
    std::uint32_t baud;
    int expected;
  };
  const Case cases[] = {
      {"exact", [](std::uint32_t r) { return r; }, false, Parity::kMark, 2450, 0},
      // USB adapters that report what their divisor makes.
      {"2450 as 2400", [](std::uint32_t) { return 2400u; }, false, Parity::kMark, 2450, 0},
      {"10416 as 10400", [](std::uint32_t) { return 10400u; }, false, Parity::kSpace, 10416, 0},
      {"2.9% low", [](std::uint32_t r) { return r - r * 29 / 1000; }, false, Parity::kSpace, 15625, 0},
      {"3.1% high", [](std::uint32_t r) { return r + r * 31 / 1000; }, false, Parity::kSpace, 15625, EINVAL},
      {"15625 as 14400", [](std::uint32_t) { return 14400u; }, false, Parity::kSpace, 15625, EINVAL},
      // A driver that drops CMSPAR makes mark and space into nothing.
      {"no CMSPAR, mark", [](std::uint32_t r) { return r; }, true, Parity::kMark, 2450, EINVAL},
      {"no CMSPAR, space", [](std::uint32_t r) { return r; }, true, Parity::kSpace, 2450, EINVAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.driver);
    gKeptRate = c.kept;
    gDropCmspar = c.dropCmspar;
    syscalls().ioctl = [](int fd, unsigned long request, void* argument) {
      const int rc = realSyscalls().ioctl(fd, request, argument);
      if (rc == 0 && request == kTcgets2) {
        auto* t = static_cast<ReadBack*>(argument);
        t->ospeed = t->ispeed = gKeptRate(t->ospeed);
        if (gDropCmspar) t->cflag &= ~testing::PtyPair::kCmspar;
      }
      return rc;
    };
    EXPECT_EQ(port->applySettings({c.baud, c.parity, 8, StopBits::kOne}), c.expected);
    syscalls() = realSyscalls();
  }
}

TEST_F(TermiosPty, SystemCallFailuresReachTheCaller) {
  struct Case {
    const char* name;
    void (*replace)(Syscalls&);
    std::function<int(SerialPort&)> call;
    int expected;
  };
  const Case cases[] = {
      {"ioctl on apply", [](Syscalls& s) {
         s.ioctl = [](int fd, unsigned long r, void* a) { return gFailures-- > 0 ? (errno = gError, -1) : realSyscalls().ioctl(fd, r, a); };
       }, [](SerialPort& p) { return p.applySettings({2450, Parity::kMark, 8, StopBits::kOne}); }, EPERM},
      {"drain before a purge", [](Syscalls& s) {
         s.tcdrain = [](int fd) { return gFailures-- > 0 ? (errno = gError, -1) : realSyscalls().tcdrain(fd); };
       }, [](SerialPort& p) { return p.purge(kPurgeTxClear); }, EPERM},
      {"flush", [](Syscalls& s) {
         s.tcflush = [](int fd, int q) { return gFailures-- > 0 ? (errno = gError, -1) : realSyscalls().tcflush(fd, q); };
       }, [](SerialPort& p) { return p.purge(kPurgeRxClear); }, EPERM},
      {"write", [](Syscalls& s) {
         s.write = [](int fd, const void* b, size_t n) { return gFailures-- > 0 ? (errno = gError, ssize_t{-1}) : realSyscalls().write(fd, b, n); };
       }, [](SerialPort& p) { return p.writeByte(0x55); }, EPERM},
      {"read", [](Syscalls& s) {
         s.read = [](int fd, void* b, size_t n) { return gFailures-- > 0 ? (errno = gError, ssize_t{-1}) : realSyscalls().read(fd, b, n); };
       }, [](SerialPort& p) { std::uint8_t b; std::size_t got; return p.read(&b, 1, got); }, EPERM},
      {"ppoll", [](Syscalls& s) {
         s.ppoll = [](pollfd* p, nfds_t n, const timespec* t) { return gFailures-- > 0 ? (errno = gError, -1) : realSyscalls().ppoll(p, n, t); };
       }, [](SerialPort& p) { bool r; return p.waitReadable(MonotonicClock::instance().now() + 10ms, r); }, EPERM},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    syscalls() = realSyscalls();
    c.replace(syscalls());
    gFailures = 1;
    gError = EPERM;
    EXPECT_EQ(c.call(*port), c.expected);
    // EINTR is retried, never reported.
    gFailures = 3;
    gError = EINTR;
    EXPECT_EQ(c.call(*port), 0);
    syscalls() = realSyscalls();
  }
}

}  // namespace
}  // namespace mvcomm::serial
