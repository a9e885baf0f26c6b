// File: tests/serial/terminal_over_pty_test.cpp
//
// The terminal class over the termios backend in real time, with a small
// far end on the pseudo-terminal's master: a whole set-clock session, and a
// hang-up in the middle of one.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "terminal/frames.h"
#include "terminal/n_cst_mvcomm.h"
#include "testing/pty_pair.h"

namespace mvcomm {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool endsWith(const Bytes& all, const Bytes& tail) {
  return all.size() >= tail.size() && std::equal(tail.begin(), tail.end(), all.end() - static_cast<std::ptrdiff_t>(tail.size()));
}

TEST(TerminalOverPty, SetClockSessionInRealTime) {
  testing::PtyPair pty(43);
  const DateTime clock{{2002, 10, 27}, 14, 30, 45};
  const Bytes confirmation = terminal::addressConfirmationFrame(258);
  const Bytes setClock = terminal::setClockFrame(clock);
  std::atomic<bool> stop{false};
  Bytes heard;
  // The far end answers after a turnaround that outlasts the host's 8 ms
  // pause after sending, as a real terminal does.
  std::thread far([&] {
    int stage = 0;
    while (!stop && stage < 2) {
      Bytes got = pty.receive(1, 50);
      heard.insert(heard.end(), got.begin(), got.end());
      if (stage == 0 && endsWith(heard, confirmation)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Bytes reply(111, 0);
        for (int i = 0; i < 5; ++i) reply[i] = 0x06;
        pty.send(reply);
        stage = 1;
      } else if (stage == 1 && endsWith(heard, setClock)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.send(Bytes(5, 0x06));
        stage = 2;
      }
    }
  });
  n_cst_mvcomm o;
  o.commport = 43;
  o.bautrate = 2400;
  o.receivedatatimelapse = 100;
  o.setclock("258", clock);
  stop = true;
  far.join();
  EXPECT_EQ(o.errorcode, 0) << o.errormessage;
  const Bytes a2 = terminal::commandA2Frame();
  ASSERT_GE(heard.size(), a2.size());
  EXPECT_TRUE(std::equal(a2.begin(), a2.end(), heard.begin()));
  EXPECT_TRUE(endsWith(heard, setClock));
}

TEST(TerminalOverPty, HangUpMidSessionIsAnOperatingSystemError) {
  testing::PtyPair pty(44);
  // The far end goes away as soon as it hears the session's first frame.
  std::thread far([&] {
    pty.receive(5, 5000);
    pty.closeMaster();
  });
  n_cst_mvcomm o;
  o.commport = 44;
  o.bautrate = 2400;
  o.cleardata("1");
  far.join();
  EXPECT_EQ(o.errorcode, EIO);
  EXPECT_EQ(o.errormessage, "API Error:Input/output error");
}

TEST(TerminalOverPty, MissingPortIsErrorTwo) {
  setenv("MVCOMM_COM45", "/dev/ttyS_not_here", 1);
  n_cst_mvcomm o;
  o.commport = 45;
  o.bautrate = 2400;
  o.cleardata("1");
  unsetenv("MVCOMM_COM45");
  EXPECT_EQ(o.errorcode, 2);
  EXPECT_EQ(o.errormessage, "API Error:No such file or directory");
}

}  // namespace
}  // namespace mvcomm
