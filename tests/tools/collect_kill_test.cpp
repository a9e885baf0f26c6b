// File: tests/tools/collect_kill_test.cpp
//
// `collect --clear` killed with SIGKILL at random instants: afterwards
// either FILE holds every record of the terminal or the terminal still
// holds them all. The terminals are the simulated ones with a state file,
// which the simulator rewrites atomically whenever the host closes the port,
// so the terminal's side survives the kill as a real terminal would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "tests/tools/process.h"
#include "tools/mvcomm/record_text.h"

namespace mvcomm::testing {
namespace {

std::set<std::string> keysOf(const std::string& path, int machine, bool& parsed) {
  std::set<std::string> keys;
  std::string text, why;
  std::vector<cli::MachineRecord> rows;
  struct stat st {};
  parsed = true;
  if (::stat(path.c_str(), &st) != 0) return keys;   // no file: holds nothing
  parsed = cli::readFile(path, text, why) && cli::parseRecordsCsv(text, rows, why);
  for (const auto& r : rows)
    if (r.machine == machine) keys.insert(r.key());
  return keys;
}

bool holdsAll(const std::set<std::string>& have, const std::set<std::string>& want) {
  for (const auto& k : want)
    if (!have.count(k)) return false;
  return true;
}

TEST(CollectKill, KilledAtAnyPointTheRecordsAreInTheFileOrOnTheTerminal) {
  pinSimulatedToday();
  char tmpl[] = "/tmp/mvcomm-kill-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl, seed = dir + "/seed.csv", state = dir + "/state.csv",
                    out = dir + "/out.csv";
  // The seed: the simulated terminals' sample records, saved by a first run.
  ToolRun made = runProgram({MVCOMM_BIN, "--simulate", "--sim-state", seed, "readrefertable", "1"});
  ASSERT_EQ(made.status, 0) << made.err;
  bool parsed = false;
  const std::set<std::string> all = keysOf(seed, 1, parsed);
  ASSERT_TRUE(parsed);
  ASSERT_GT(all.size(), 50u);

  const std::vector<std::string> argv = {MVCOMM_BIN, "--simulate", "--sim-state", state,
                                         "--quiet", "collect", "1", "2026-03-01", "2026-03-15",
                                         "--out", out, "--clear"};
  auto reset = [&] {
    std::filesystem::copy_file(seed, state, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(out);
  };
  // How long an undisturbed run takes, to spread the kills over it.
  reset();
  auto t0 = std::chrono::steady_clock::now();
  ToolRun whole = runProgram(argv);
  auto span = std::chrono::steady_clock::now() - t0;
  ASSERT_EQ(whole.status, 0) << whole.err;
  ASSERT_TRUE(holdsAll(keysOf(out, 1, parsed), all));
  ASSERT_TRUE(keysOf(state, 1, parsed).empty());

  std::mt19937 random(20260315);
  const auto spanUs = std::chrono::duration_cast<std::chrono::microseconds>(span).count();
  std::uniform_int_distribution<long> delay(0, spanUs + spanUs / 4);
  int completed = 0, interrupted = 0;
  for (int run = 0; run < 30; ++run) {
    SCOPED_TRACE(run);
    reset();
    int stdoutFd = -1;
    pid_t pid = startProgram(argv, "/dev/null", stdoutFd);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(stdoutFd);
    (WIFEXITED(status) ? completed : interrupted)++;

    bool fileParsed = false, stateParsed = false;
    auto inFile = keysOf(out, 1, fileParsed);
    auto onTerminal = keysOf(state, 1, stateParsed);
    EXPECT_TRUE(fileParsed) << "FILE is never left half-written";
    EXPECT_TRUE(stateParsed);
    EXPECT_TRUE(holdsAll(inFile, all) || holdsAll(onTerminal, all))
        << inFile.size() << " in the file, " << onTerminal.size() << " on the terminal";
  }
  EXPECT_GT(interrupted, 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace mvcomm::testing
