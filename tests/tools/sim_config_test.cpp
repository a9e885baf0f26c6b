// File: tests/tools/sim_config_test.cpp
//
// mvcomm-sim's command line and the line it builds: terminals, their data
// files and faults by name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "tools/mvcomm-sim/sim_config.h"

namespace mvcomm::testing {
namespace {

TEST(SimConfig, RefusesWhatItCannotServe) {
  struct Row {
    std::vector<std::string> args;
    const char* error;
  };
  const Row rows[] = {
      {{"--terminal", "2001:new"}, "terminal 2001 is an old-model number"},
      {{"--terminal", "5:old"}, "terminal 5 is a new-model number"},
      {{"--terminal", "10001:fast"}, "the model is new or old"},
      {{"--terminal", "70000"}, "N must be 0 to 65535"},
      {{"--fault", "lightning"}, "unknown fault or malformed field"},
      {{"--fault", "x@silence"}, "the terminal before @ must be 0 to 65535"},
      {{"--turnaround", "-1"}, "--turnaround needs 0 to 60000 ms"},
      {{"--link"}, "--link needs a path"},
      {{"--bogus"}, "unknown argument --bogus"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.error);
    sim::SimConfig config;
    EXPECT_NE(sim::parseSimArgs(r.args, config).find(r.error), std::string::npos);
  }
}

TEST(SimConfig, BuildsTerminalsFromFilesAndAimsFaults) {
  char dir[] = "/tmp/mvcomm-simcfg-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string records = std::string(dir) + "/records.csv";
  const std::string table = std::string(dir) + "/table.csv";
  std::ofstream(records) << "machine,employeeid,workclass,cardedtime\n"
                            "1,1001,3,2026-03-15 08:30:00\n"
                            "12000,7,8,2026-03-14 17:05:00\n";
  std::ofstream(table) << "machine,employeeid,cardid\n1,1001,160001\n";
  sim::SimConfig config;
  ASSERT_EQ(sim::parseSimArgs({"--terminal", "1:new", "--records", records, "--table", table,
                               "--fault", "12000@nak:set-clock:times=3", "--turnaround", "45"},
                              config),
            "");
  emulator::Emulator line;
  ASSERT_EQ(sim::buildTerminals(config, line, {2026, 3, 15}), "");
  ASSERT_EQ(line.terminals().size(), 2u);   // 1, and 12000 from the records file
  emulator::Terminal* one = line.find(1);
  emulator::Terminal* old = line.find(12000);
  ASSERT_TRUE(one && old);
  EXPECT_EQ(one->records().size(), 1u);     // no sample records beside the file
  EXPECT_EQ(old->records().size(), 1u);
  EXPECT_EQ(old->records()[0].workClass, 8);
  EXPECT_EQ(one->referenceTable().size(), 1u);
  EXPECT_TRUE(old->referenceTable().empty());
  EXPECT_EQ(one->pendingFaults(), 0u);
  EXPECT_EQ(old->pendingFaults(), 1u);

  std::ofstream(records) << "1,1001,3,1899-12-31 08:30:00\n";
  emulator::Emulator other;
  EXPECT_NE(sim::buildTerminals(config, other, {2026, 3, 15}), "");
  (void)std::system((std::string("rm -rf ") + dir).c_str());
}

TEST(SimConfig, WithoutFilesEachTerminalGetsSampleData) {
  sim::SimConfig config;
  ASSERT_EQ(sim::parseSimArgs({}, config), "");
  emulator::Emulator line;
  ASSERT_EQ(sim::buildTerminals(config, line, {2026, 3, 15}), "");
  ASSERT_TRUE(line.find(1) && line.find(2001));
  EXPECT_EQ(line.find(1)->records().size(), 84u);   // 21 days, 4 a day
  EXPECT_EQ(line.find(2001)->referenceTable().size(), 4u);
}

}  // namespace
}  // namespace mvcomm::testing
