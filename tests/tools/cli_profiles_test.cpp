// File: tests/tools/cli_profiles_test.cpp
//
// mvcomm against simulated terminals that choose otherwise where the
// protocol leaves them free (--sim-profile), in virtual time: collect empties
// them whatever check their frames carry, says when it could not check, and
// a table download that stops half way says what the terminal may hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "emulator/virtual_line.h"
#include "tests/tools/run_cli.h"
#include "tools/mvcomm/record_text.h"
#include "tools/mvcomm/selftest.h"

namespace mvcomm::testing {
namespace {

class CliProfiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/mvcomm-profiles-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
  }

  std::string dir_;
};

TEST_F(CliProfiles, CollectClearsUnderEveryCheckAndSaysOnceWhenItCouldNotCheck) {
  struct Row {
    const char* profile;
    const char* note;  // "" when the frames were checked
  };
  const Row rows[] = {
      {"default", ""},
      {"crc=arc-control-msb,start=01,third=complement", ""},
      {"crc=zero", "carry zero check bytes"},
      {"crc=xmodem-frame", "carry a xmodem-frame check, which the terminal class does not know"},
  };
  for (const char* machine : {"1", "2001"}) {
    for (const Row& r : rows) {
      SCOPED_TRACE(std::string(machine) + " " + r.profile);
      const std::string state = dir_ + "/state.csv", out = dir_ + "/out.csv";
      std::filesystem::remove(state);
      std::filesystem::remove(out);
      ToolRun run = runCli({"--simulate", "--sim-state", state, "--sim-profile", r.profile, "collect", machine,
                            "2026-03-01", "2026-03-15", "--out", out, "--clear"});
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_NE(run.out.find("terminal cleared"), std::string::npos) << run.out;
      const bool noted = *r.note != '\0';
      EXPECT_EQ(count(run.err, "mvcomm: note:"), noted ? 1u : 0u) << run.err;
      if (noted) {
        EXPECT_EQ(count(run.err, r.note), 1u) << run.err;
      }
    }
  }
}

TEST_F(CliProfiles, ATableDownloadThatStopsSaysWhatTheTerminalMayHold) {
  const std::string table = dir_ + "/table.csv";
  std::ofstream(table) << "employeeid,cardid\n7,707\n8,808\n9,909\n";  // 20 bytes: two blocks
  struct Row {
    const char* fault;
    const char* says;
  };
  const Row rows[] = {
      {"silence:write-block:skip=1", "table may now be partial: write it again"},
      {"nak:write-block", "table may now be partial: write it again"},
      {"silence:write-block", "did not answer the first block"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.fault);
    ToolRun run = runCli({"--simulate", "--sim-fault", r.fault, "writerefertable", "1", table});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("error 20024:"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(r.says), std::string::npos) << run.err;
  }
  // Whatever a terminal answers to a stored block, the download goes on.
  for (const char* reply : {"write-reply=ack", "write-reply=echo"}) {
    ToolRun run = runCli({"--simulate", "--sim-profile", reply, "writerefertable", "1", table});
    EXPECT_EQ(run.status, 0) << reply << run.err;
  }
}

// trace-info reads back from a trace the choices of the terminal that made
// it: the profile it names plays the same terminal.
TEST_F(CliProfiles, TraceInfoNamesTheProfileOfTheTerminalInTheTrace) {
  const std::string table = dir_ + "/table.csv";
  std::ofstream(table) << "7,707\n8,808\n9,909\n";
  for (const char* profile : {"default", "crc=arc-control,third=complement,write-reply=echo,turnaround=35",
                              "crc=zero,start=01,write-reply=ack", "crc=xmodem-frame-msb,turnaround=150"}) {
    SCOPED_TRACE(profile);
    std::string all;
    int n = 0;
    for (std::vector<std::string> command : {std::vector<std::string>{"readdata", "1", "2026-03-01", "2026-03-15"},
                                             {"readrefertable", "1"}, {"writerefertable", "1", table}}) {
      const std::string trace = dir_ + "/" + std::to_string(++n) + ".trace";
      command.insert(command.begin(), {"--simulate", "--sim-profile", profile, "--trace", trace});
      ASSERT_EQ(runCli(command).status, 0);
      std::string text, why;
      ASSERT_TRUE(cli::readFile(trace, text, why));
      all += text;
    }
    std::ofstream(dir_ + "/all.trace") << all;
    ToolRun info = runCli({"trace-info", dir_ + "/all.trace"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("sessions: 3;"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("as mvcomm-sim --profile " + std::string(profile) + "\n"), std::string::npos) << info.out;
  }
  // What the driver read back, from the trace's own notes; a broken line is named.
  std::ofstream(dir_ + "/driver.trace") << "# mvcomm trace 1\n     0.000 open COM1\n     0.010 set 2450 M reads 2400\n"
                                        << "     0.020 > 2400 M 00 01 00\n";
  ToolRun driver = runCli({"trace-info", dir_ + "/driver.trace"});
  EXPECT_NE(driver.out.find("driver: asked for 2450, the driver reads back 2400"), std::string::npos) << driver.out;
  std::ofstream(dir_ + "/bad.trace") << "     0.020 > 2400 Q 00\n";
  ToolRun bad = runCli({"trace-info", dir_ + "/bad.trace"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("line 1: bad parity"), std::string::npos) << bad.err;
}

// selftest reads each rate back and says how far off it is: over 2% warns,
// over 3% fails.
TEST(Selftest, ShowsTheRateReadBackAndHowFarOff) {
  struct Row {
    std::uint32_t (*kept)(std::uint32_t);
    const char* line;
    int status;
    const char* summary;
  };
  const Row rows[] = {
      {[](std::uint32_t r) { return r / 100 * 100; }, "2450 M    2400 M      -2.0%    kept, but over 2% off\n", 0,
       "all settings work; 2 rate(s) are over 2% off"},
      {[](std::uint32_t r) { return r / 100 * 100; }, "10416 S   10400 S     -0.2%    kept\n", 0, ""},
      {[](std::uint32_t r) { return r == 15625 ? 14400u : r; }, "15625 S   14400 S     -7.8%    dropped: the rate is too far off\n",
       1, "1 setting(s) failed"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    emulator::Emulator nobody;
    emulator::VirtualLine line(nobody);
    line.setKeptRate(r.kept);
    std::unique_ptr<serial::SerialPort> port;
    ASSERT_EQ(0, line.opener().open("COM1", port));
    std::ostringstream out;
    EXPECT_EQ(r.status, cli::selftest(*port, line.clock(), false, out));
    EXPECT_NE(out.str().find(r.line), std::string::npos) << out.str();
    EXPECT_NE(out.str().find(r.summary), std::string::npos) << out.str();
  }
}

}  // namespace
}  // namespace mvcomm::testing
