// File: tests/tools/cli_usage_test.cpp
//
// Bad usage: exit status 2, a message naming the problem, the usage text,
// and no terminal touched (the simulated state file is never created).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tests/tools/run_cli.h"

namespace mvcomm::testing {
namespace {

struct UsageCase {
  std::vector<std::string> args;
  const char* message;
};

TEST(CliUsage, BadUsageExitsWithTwoAndSaysWhy) {
  char dir[] = "/tmp/mvcomm-usage-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string state = std::string(dir) + "/state.csv";
  const std::string badTable = std::string(dir) + "/bad.csv";
  const std::string slotTable = std::string(dir) + "/slot.csv";
  std::ofstream(badTable) << "employeeid,cardid\n1001,abc\n";
  std::ofstream(slotTable) << "1001,160001\n1002,65535\n";
  const std::string sim[] = {"--simulate", "--sim-state", state};
  auto with = [&](std::vector<std::string> rest) {
    std::vector<std::string> all(std::begin(sim), std::end(sim));
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
  };
  const std::vector<UsageCase> cases = {
      {with({}), "no command given"},
      {with({"fetch", "1"}), "unknown command fetch"},
      {with({"readdata", "1", "2026-03-01"}), "wrong number of arguments"},
      {with({"cleardata"}), "wrong number of arguments"},
      {with({"readdata", "1", "2026-3-1", "2026-03-02"}), "FROM must be a date YYYY-MM-DD"},
      {with({"readdata", "1", "2026-03-01", "tomorrow"}), "TO must be a date YYYY-MM-DD"},
      {with({"setclock", "1", "08:30"}), "the time must be now or"},
      {with({"--baud", "19200", "cleardata", "1"}), "--baud must be 2400, 4800, 9600 or 14400"},
      {with({"--port", "COM1", "cleardata", "1"}), "--port needs a number"},
      {with({"--format", "xml", "cleardata", "1"}), "--format must be table, csv or json"},
      {with({"--timelapse"}), "--timelapse needs a value"},
      {with({"--via", "remote", "cleardata", "1"}), "--via: 'direct' or 'automation'"},
      {with({"--frobnicate", "cleardata", "1"}), "unknown option --frobnicate"},
      {with({"collect", "1", "2026-03-01", "2026-03-02"}), "collect needs --out FILE"},
      {with({"cleardata", "1", "--clear"}), "--out and --clear belong to collect"},
      {with({"writerefertable", "1", badTable}), "line 2: cardid must be"},
      {with({"writerefertable", "1", slotTable}), "0 and 65535 mark empty slots"},
      {with({"writerefertable", "1", std::string(dir) + "/missing.csv"}), "No such file"},
      {with({"selftest"}), "selftest needs --device PATH"},
      {{"--sim-state", state, "cleardata", "1"}, "--sim-state, --sim-fault and --sim-profile need --simulate"},
      {with({"--sim-fault", "lightning", "cleardata", "1"}), "unknown fault or malformed field"},
      {with({"--device", "/dev/null", "cleardata", "1"}), "--simulate and --device exclude"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(goldenText(c.args, {}));
    ToolRun run = runCli(c.args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("usage: mvcomm"), std::string::npos);
    struct stat st {};
    EXPECT_NE(::stat(state.c_str(), &st), 0) << "a rejected command reached the terminals";
  }
  ::unlink(badTable.c_str());
  ::unlink(slotTable.c_str());
  ::rmdir(dir);
}

TEST(CliUsage, HelpOnEveryCommandGoesToStdoutWithStatusZero) {
  for (const char* command : {"setclock", "readdata", "cleardata", "readrefertable",
                              "writerefertable", "collect", "selftest"}) {
    SCOPED_TRACE(command);
    ToolRun run = runCli({command, "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(std::string("usage: mvcomm"), 0), 0u);
    EXPECT_NE(run.out.find(command), std::string::npos);
    EXPECT_EQ(run.err, "");
  }
}

}  // namespace
}  // namespace mvcomm::testing
