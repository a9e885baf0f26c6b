// File: tests/tools/cli_golden_test.cpp
//
// Every command's output, exactly, against the simulated terminals.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "tests/tools/run_cli.h"
#include "tools/mvcomm/record_text.h"

namespace mvcomm::testing {
namespace {

const std::string kData = MVCOMM_TEST_DATA_DIR;
const std::string kTable = kData + "/table.csv";
const std::string kEmptyTable = kData + "/empty_table.csv";

// Paths of the source tree are not part of the output.
std::string normalised(std::string text) {
  for (std::size_t at; (at = text.find(kData)) != std::string::npos;)
    text.replace(at, kData.size(), "<data>");
  return text;
}

struct GoldenCase {
  const char* name;
  std::vector<std::string> args;
};

const std::vector<GoldenCase>& goldenCases() {
  static const std::vector<GoldenCase> cases = {
      {"readdata_new_csv", {"--simulate", "readdata", "1", "2026-03-09", "2026-03-15"}},
      {"readdata_old_json",
       {"--simulate", "--format", "json", "readdata", "2001", "2026-03-13", "2026-03-15"}},
      {"readdata_table", {"--simulate", "--format", "table", "readdata", "1", "2026-03-14", "2026-03-15"}},
      {"readdata_empty_range", {"--simulate", "readdata", "1", "2020-01-01", "2020-01-02"}},
      {"readdata_empty_json", {"--simulate", "--format=json", "readdata", "1", "2020-01-01", "2020-01-02"}},
      {"readrefertable_csv", {"--simulate", "readrefertable", "1"}},
      {"readrefertable_old_table", {"--simulate", "--format", "table", "readrefertable", "2001"}},
      {"readrefertable_json", {"--simulate", "--format", "json", "readrefertable", "1"}},
      {"setclock_table", {"--simulate", "--format", "table", "setclock", "1", "2026-03-15 08:30:00"}},
      {"setclock_csv_silent", {"--simulate", "setclock", "2001", "2026-03-15 08:30:00"}},
      {"cleardata_table", {"--simulate", "--format", "table", "cleardata", "2001"}},
      {"error_machine_not_number", {"--simulate", "readdata", "abc", "2026-03-01", "2026-03-02"}},
      {"error_machine_out_of_range", {"--simulate", "cleardata", "70000"}},
      {"error_no_such_terminal", {"--simulate", "setclock", "7", "2026-03-15 08:30:00"}},
      {"error_port_zero", {"--simulate", "--port", "0", "cleardata", "1"}},
      {"error_no_port_given", {"readrefertable", "1"}},
      {"error_invalid_day", {"--simulate", "readdata", "1", "2026-02-30", "2026-03-01"}},
      {"error_missing_device", {"--device", "/nonexistent/ttyX", "readdata", "1", "2026-03-01", "2026-03-02"}},
      {"writerefertable_table", {"--simulate", "--format", "table", "writerefertable", "1", kTable}},
      {"writerefertable_empty", {"--simulate", "writerefertable", "2001", kEmptyTable}},
      {"help", {"--help"}},
      {"help_collect", {"collect", "--help"}},
      {"usage_no_command", {}},
  };
  return cases;
}

TEST(CliGolden, EveryCaseMatchesItsGoldenFile) {
  for (const auto& c : goldenCases()) {
    SCOPED_TRACE(c.name);
    ToolRun run = runCli(c.args);
    expectGolden(c.name, normalised(goldenText(c.args, run)));
  }
}

// collect's summary, a second collect that adds nothing, and the file.
TEST(CliGolden, CollectTwiceAddsNothingTheSecondTime) {
  char dir[] = "/tmp/mvcomm-golden-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string out = std::string(dir) + "/records.csv";
  const std::vector<std::string> args = {"--simulate", "--format", "table", "collect", "2001",
                                         "2026-03-14", "2026-03-15", "--out", out};
  std::string text = goldenText(args, runCli(args));
  text += goldenText(args, runCli(args));
  std::string file, why;
  ASSERT_TRUE(cli::readFile(out, file, why));
  text += "--- " + out + "\n" + file;
  for (std::size_t at; (at = text.find(dir)) != std::string::npos;) text.replace(at, sizeof dir - 1, "<tmp>");
  expectGolden("collect_twice", text);
  std::filesystem::remove_all(dir);
}

// Swapped dates are the same range (the class swaps them).
TEST(CliGolden, ReaddataWithSwappedDatesPrintsTheSameRecords) {
  ToolRun forward = runCli({"--simulate", "readdata", "1", "2026-03-09", "2026-03-15"});
  ToolRun swapped = runCli({"--simulate", "readdata", "1", "2026-03-15", "2026-03-09"});
  EXPECT_EQ(swapped.status, 0);
  EXPECT_EQ(forward.out, swapped.out);
  EXPECT_GT(std::count(forward.out.begin(), forward.out.end(), '\n'), 20);
}

TEST(CliGolden, DefaultFormatIsTableOnATerminalAndCsvOtherwise) {
  std::vector<std::string> args = {"--simulate", "readrefertable", "1"};
  EXPECT_EQ(runCli(args, /*stdoutTty=*/true).out,
            runCli({"--simulate", "--format", "table", "readrefertable", "1"}).out);
  EXPECT_EQ(runCli(args, /*stdoutTty=*/false).out, goldenStdout("readrefertable_csv"));
}

TEST(CliProgress, ShownOnlyWhenStderrIsATerminalAndNotQuiet) {
  struct Row {
    bool stderrTty;
    bool quiet;
    bool expectProgress;
  };
  const Row rows[] = {{true, false, true}, {true, true, false}, {false, false, false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << "tty " << r.stderrTty << " quiet " << r.quiet);
    std::vector<std::string> args = {"--simulate", "readdata", "2001", "2026-03-01", "2026-03-15"};
    if (r.quiet) args.insert(args.begin(), "--quiet");
    ToolRun run = runCli(args, false, r.stderrTty);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, runCli({"--simulate", "readdata", "2001", "2026-03-01", "2026-03-15"}).out);
    if (r.expectProgress) {
      EXPECT_NE(run.err.find("waiting 1.8 s"), std::string::npos);
      EXPECT_NE(run.err.find("records: frame 1"), std::string::npos);
      // The line is erased at the end, so nothing is left standing.
      EXPECT_EQ(run.err.substr(run.err.size() - 4), "\r\033[K");
    } else {
      EXPECT_EQ(run.err, "");
    }
  }
}

TEST(CliProgress, TableTransfersReportTheirBlocks) {
  ToolRun run = runCli({"--simulate", "readrefertable", "1"}, false, true);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("reference table: block 1"), std::string::npos);
}

}  // namespace
}  // namespace mvcomm::testing
