// File: tests/tools/collect_faults_test.cpp
//
// collect --clear against simulated terminals that misbehave, in virtual
// time: whatever goes wrong during the read, the terminal keeps its
// records (the simulated state file shows what it holds afterwards).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/tools/run_cli.h"
#include "tools/mvcomm/record_text.h"

namespace mvcomm::testing {
namespace {

std::size_t recordsOf(const std::string& path, int machine) {
  std::string text, why;
  std::vector<cli::MachineRecord> rows;
  if (!cli::readFile(path, text, why) || !cli::parseRecordsCsv(text, rows, why)) return 0;
  std::size_t n = 0;
  for (const auto& r : rows) n += r.machine == machine;
  return n;
}

TEST(CollectFaults, AFaultyReadNeverLeadsToAClear) {
  struct Row {
    const char* machine;
    const char* fault;
    const char* message;
  };
  const Row rows[] = {
      {"1", "cut-short:read-records:bytes=60", "error 20013:"},
      {"1", "stop-before-eot:read-records", "error 20013:"},
      {"1", "endless:read-records", "error 20013:"},
      {"1", "garbage:read-records", "error 20012:"},
      {"1", "silence:baud-change:times=3", "error 20010:"},
      {"1", "vanish:read-records:bytes=30", "error 5: API Error:"},
      {"2001", "cut-short:record-frame:skip=1:bytes=10", "error 20013:"},
      {"2001", "stop-before-eot:record-frame", "error 20013:"},
      {"2001", "endless:record-frame:times=0", "error 20013:"},
      {"2001", "silence:read-records:times=6", "error 20011:"},
  };
  char tmpl[] = "/tmp/mvcomm-faults-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl, state = dir + "/state.csv", out = dir + "/out.csv";
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.machine) + " " + r.fault);
    std::filesystem::remove(state);
    std::filesystem::remove(out);
    ToolRun seed = runCli({"--simulate", "--sim-state", state, "readrefertable", r.machine});
    ASSERT_EQ(seed.status, 0) << seed.err;
    const std::size_t before = recordsOf(state, std::atoi(r.machine));
    ASSERT_GT(before, 10u);

    ToolRun run = runCli({"--simulate", "--sim-state", state, "--sim-fault", r.fault, "collect",
                          r.machine, "2026-03-01", "2026-03-15", "--out", out, "--clear"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(r.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not cleared"), std::string::npos) << run.err;
    EXPECT_EQ(recordsOf(state, std::atoi(r.machine)), before) << "the terminal was cleared";
  }
  std::filesystem::remove_all(dir);
}

TEST(CollectFaults, ReaddataFailsWhenTheStreamWasCutShort) {
  ToolRun run = runCli({"--simulate", "--sim-fault", "cut-short:read-records:bytes=60",
                        "readdata", "1", "2026-03-01", "2026-03-15"});
  EXPECT_EQ(run.status, 1);  // no record of a partial read is printed
  EXPECT_NE(run.err.find("error 20013: Haven't read any data from the specifical machine!"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace mvcomm::testing
