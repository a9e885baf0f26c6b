// File: tests/tools/pty_end_to_end_test.cpp
//
// mvcomm against mvcomm-sim over a pseudo-terminal, in real time, with the
// protocol's settle pauses and time-outs (a shorter --timelapse keeps the
// idle waits brief where the test is not about them). Kept to the cases
// where the pty itself matters: the rest runs on the virtual line.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/tools/process.h"

namespace mvcomm::testing {
namespace {

class PtyEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    pinSimulatedToday();
    char tmpl[] = "/tmp/mvcomm-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  ToolRun mvcomm(const SimProcess& sim, std::vector<std::string> args) {
    args.insert(args.begin(), {MVCOMM_BIN, "--device", sim.path(), "--timelapse", "200"});
    return runProgram(args);
  }

  std::string dir_;
};

TEST_F(PtyEndToEnd, ReaddataPrintsTheSameRecordsAsTheVirtualLine) {
  SimProcess sim;
  ASSERT_TRUE(sim.start({"-v"}));
  ToolRun run = mvcomm(sim, {"readdata", "1", "2026-03-09", "2026-03-15"});
  EXPECT_EQ(run.status, 0) << run.err << sim.log();
  EXPECT_EQ(run.out, goldenStdout("readdata_new_csv"));
  EXPECT_EQ(run.err, "");
}

TEST_F(PtyEndToEnd, ClockTableAndClearThroughTheLink) {
  const std::string link = dir_ + "/com1";
  SimProcess sim;
  ASSERT_TRUE(sim.start({"--link", link, "--terminal", "1:new", "--terminal", "2001:old"}));
  ASSERT_EQ(std::filesystem::read_symlink(link), sim.path());
  // The link is what users give: MVCOMM_COM<n> would resolve to it as well.
  const std::vector<std::string> viaLink = {MVCOMM_BIN, "--device", link, "--timelapse", "200"};
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), viaLink.begin(), viaLink.end());
    return runProgram(args);
  };

  ToolRun clock = run({"setclock", "2001", "2026-03-15 08:30:00"});
  EXPECT_EQ(clock.status, 0) << clock.err;

  const std::string table = dir_ + "/table.csv";
  std::ofstream(table) << "employeeid,cardid\n7,16909060\n258,5\n4000,99999\n";
  ToolRun write = run({"writerefertable", "1", table});
  EXPECT_EQ(write.status, 0) << write.err;
  ToolRun read = run({"readrefertable", "1"});
  EXPECT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out, "employeeid,cardid\n7,16909060\n258,5\n4000,99999\n");

  ToolRun clear = run({"cleardata", "1"});
  EXPECT_EQ(clear.status, 0) << clear.err;
  sim.stop();
  EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link goes with the simulator";
}

// Terminals that choose otherwise where the protocol leaves them free, in
// real time: the table goes both ways and the records come whole, whatever
// check their frames carry or whatever they answer to a block.
TEST_F(PtyEndToEnd, TerminalsOfOtherProfilesOverThePty) {
  struct Row {
    const char* profile;
    bool noted;  // frames taken on structure alone, and mvcomm says so
  };
  const Row rows[] = {
      {"crc=arc-control-msb,start=01,third=complement,write-reply=ack,turnaround=10", false},
      {"crc=xmodem-frame,write-reply=echo,rate-return=end,table-write=in-place,turnaround=60", true},
  };
  const std::string table = dir_ + "/table.csv";
  std::ofstream(table) << "employeeid,cardid\n7,16909060\n258,5\n4000,99999\n";
  for (const Row& r : rows) {
    SCOPED_TRACE(r.profile);
    SimProcess sim;
    ASSERT_TRUE(sim.start({"-v", "--profile", r.profile}));
    ToolRun write = mvcomm(sim, {"writerefertable", "1", table});
    EXPECT_EQ(write.status, 0) << write.err << sim.log();
    ToolRun read = mvcomm(sim, {"readrefertable", "1"});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out, "employeeid,cardid\n7,16909060\n258,5\n4000,99999\n");
    ToolRun records = mvcomm(sim, {"readdata", "1", "2026-03-09", "2026-03-15"});
    EXPECT_EQ(records.status, 0) << records.err;
    EXPECT_EQ(records.out, goldenStdout("readdata_new_csv"));
    EXPECT_EQ(records.err.find("mvcomm: note:") != std::string::npos, r.noted) << records.err;
    sim.stop();
  }
}

// Faults while collect --clear reads: each ends with status 1, says the
// terminal was not cleared, and no clear command (A6) reached the line.
TEST_F(PtyEndToEnd, FaultsDuringCollectLeaveTheTerminalUncleared) {
  struct Row {
    const char* fault;
    const char* message;
    bool fileWritten;
  };
  const Row rows[] = {
      {"silence:read-records", "error 20013: Haven't read any data", false},
      {"cut-short:read-records:bytes=60", "error 20013: Haven't read any data", false},
      {"garbage:read-records", "error 20012: Failed parse data", false},
      {"vanish:read-records:bytes=60", "error 5: API Error:Input/output error", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.fault);
    SimProcess sim;
    ASSERT_TRUE(sim.start({"-v", "--fault", r.fault}));
    const std::string out = dir_ + "/out.csv";
    std::filesystem::remove(out);
    ToolRun run = mvcomm(sim, {"collect", "1", "2026-03-01", "2026-03-15", "--out", out, "--clear"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not cleared"), std::string::npos) << run.err;
    EXPECT_EQ(std::filesystem::exists(out), r.fileWritten);
    sim.stop();
    EXPECT_EQ(sim.log().find("02 A6 59"), std::string::npos) << sim.log();
  }
}

// selftest on a pty: every setting is kept (a pty stores rate and
// mark/space as asked); with an echo on the master, loopback passes too.
TEST_F(PtyEndToEnd, SelftestOnAPseudoTerminal) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  char name[128];
  ASSERT_EQ(::ptsname_r(master, name, sizeof name), 0);
  int holder = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);   // keeps the pty up
  ASSERT_GE(holder, 0);

  ToolRun plain = runProgram({MVCOMM_BIN, "selftest", "--device", name});
  EXPECT_EQ(plain.status, 0) << plain.out << plain.err;
  EXPECT_NE(plain.out.find("15625 S   15625 S     +0.0%    kept"), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("2450 M    2450 M      +0.0%    kept"), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("all settings work"), std::string::npos);

  std::atomic<bool> stop{false};
  std::thread echo([&] {
    while (!stop) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
        char buffer[256];
        ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) (void)!::write(master, buffer, static_cast<std::size_t>(n));
      }
    }
  });
  ToolRun looped = runProgram({MVCOMM_BIN, "selftest", "--device", name, "--loopback"});
  stop = true;
  echo.join();
  EXPECT_EQ(looped.status, 0) << looped.out << looped.err;
  EXPECT_NE(looped.out.find("10416 S   10416 S     +0.0%    kept; loopback ok"), std::string::npos) << looped.out;

  ToolRun missing = runProgram({MVCOMM_BIN, "selftest", "--device", "/nonexistent/tty"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "error 2: API Error:No such file or directory\n");
  ::close(holder);
  ::close(master);
}

}  // namespace
}  // namespace mvcomm::testing
