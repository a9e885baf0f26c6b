// File: tests/tools/collect_kill_test.cpp
//
// `collect --clear` killed with SIGKILL at random instants: afterwards
// either FILE holds every record of the terminal or the terminal still
// holds them all. The terminals are the simulated ones with a state file,
// which the simulator rewrites atomically whenever the host closes the port,
// so the terminal's side survives the kill as a real terminal would.
//
// The dangerous stretch is short: from FILE being renamed into place to the
// terminal's cleared state being saved. A third of the kills fall anywhere
// in a run; the rest are aimed at that stretch, timed from the moment FILE
// appears (inotify) by the length an undisturbed run gives it. Each kill is
// then placed by what it left: FILE, the terminal's state and the --trace,
// which shows whether the clear frame went out.
//
// MVCOMM_KILL_RUNS sets the number of kills (default 200).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "tests/tools/process.h"
#include "tools/mvcomm/record_text.h"
#include "tools/mvcomm/trace_port.h"

namespace mvcomm::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

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

// Whether the trace shows the clear command's frame sent (a ">" line is
// written once the host has sent the whole frame).
bool clearFrameSent(const std::string& tracePath, bool& parsed) {
  std::string text, why;
  std::vector<cli::TraceFrame> frames;
  struct stat st {};
  parsed = true;
  if (::stat(tracePath.c_str(), &st) != 0) return false;   // killed before it began
  parsed = cli::readFile(tracePath, text, why) && cli::parseTrace(text, frames, why);
  for (const auto& f : frames)
    if (f.fromHost && f.bytes.size() >= 2 && f.bytes[0] == 0x02 && f.bytes[1] == 0xA6) return true;
  return false;
}

// Where a kill landed, judged by what it left behind.
enum Phase { kReading, kSavedNotSent, kClearing, kCleared, kCompleted, kPhaseCount };
constexpr std::array<const char*, kPhaseCount> kPhaseNames = {
    "before FILE was saved", "FILE saved, clear frame not yet sent",
    "clear frame sent, terminal not yet saved", "terminal cleared, run not ended",
    "run completed"};

// Files renamed into `dir` (IN_MOVED_TO), in order, with the time each
// was seen.
class DirWatch {
 public:
  explicit DirWatch(const std::string& dir)
      : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0 && ::inotify_add_watch(fd_, dir.c_str(), IN_MOVED_TO) < 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~DirWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  void forget() {
    read();
    seen_.clear();
  }

  // Waits until `name` is renamed into the folder, `child` ends, or the
  // deadline passes; the time it was seen, if it was. Names seen before it
  // are consumed.
  std::optional<Clock::time_point> waitFor(const std::string& name, pid_t child,
                                           Clock::time_point deadline) {
    for (;;) {
      read();
      while (!seen_.empty()) {
        auto [n, at] = seen_.front();
        seen_.erase(seen_.begin());
        if (n == name) return at;
      }
      if (Clock::now() >= deadline || ended(child)) return std::nullopt;
      pollfd p{fd_, POLLIN, 0};
      (void)::poll(&p, 1, 2);
    }
  }

 private:
  static bool ended(pid_t child) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == child;
  }

  void read() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      const auto at = Clock::now();
      for (char* p = buffer; p < buffer + n;) {
        auto* e = reinterpret_cast<inotify_event*>(p);
        if (e->len) seen_.emplace_back(std::string(e->name), at);
        p += sizeof(inotify_event) + e->len;
      }
    }
  }

  int fd_;
  std::vector<std::pair<std::string, Clock::time_point>> seen_;
};

int killRuns() {
  const char* v = std::getenv("MVCOMM_KILL_RUNS");
  if (!v) return 200;
  const int n = std::atoi(v);
  return n > 0 ? n : 200;
}

TEST(CollectKill, KilledAtAnyPointTheRecordsAreInTheFileOrOnTheTerminal) {
  pinSimulatedToday();
  char tmpl[] = "/tmp/mvcomm-kill-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl, seed = dir + "/seed.csv", state = dir + "/state.csv",
                    out = dir + "/out.csv", trace = dir + "/trace.txt";
  // The seed: the simulated terminals' sample records, saved by a first run.
  ToolRun made = runProgram({MVCOMM_BIN, "--simulate", "--sim-state", seed, "readrefertable", "1"});
  ASSERT_EQ(made.status, 0) << made.err;
  bool parsed = false;
  const std::set<std::string> all = keysOf(seed, 1, parsed);
  ASSERT_TRUE(parsed);
  ASSERT_GT(all.size(), 50u);

  const std::vector<std::string> argv = {MVCOMM_BIN, "--simulate", "--sim-state", state,
                                         "--trace", trace, "--quiet", "collect", "1",
                                         "2026-03-01", "2026-03-15", "--out", out, "--clear"};
  DirWatch watch(dir);
  ASSERT_TRUE(watch.ok());
  auto reset = [&] {
    std::filesystem::copy_file(seed, state, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(out);
    std::filesystem::remove(trace);
    watch.forget();
  };

  // Undisturbed runs time the stretch from FILE saved to the terminal's
  // cleared state saved, and the whole run; the shortest of each is kept.
  microseconds span = microseconds::max(), stretch = microseconds::max();
  for (int i = 0; i < 3; ++i) {
    reset();
    int stdoutFd = -1;
    const auto t0 = Clock::now();
    pid_t pid = startProgram(argv, "/dev/null", stdoutFd);
    ASSERT_GT(pid, 0);
    auto saved = watch.waitFor("out.csv", pid, t0 + std::chrono::seconds(30));
    auto cleared = watch.waitFor("state.csv", pid, t0 + std::chrono::seconds(30));
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto t1 = Clock::now();
    ::close(stdoutFd);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(saved && cleared);
    ASSERT_TRUE(holdsAll(keysOf(out, 1, parsed), all));
    ASSERT_TRUE(keysOf(state, 1, parsed).empty());
    span = std::min(span, std::chrono::duration_cast<microseconds>(t1 - t0));
    stretch = std::min(stretch, std::chrono::duration_cast<microseconds>(*cleared - *saved));
  }

  std::mt19937 random(20260315);
  std::uniform_int_distribution<long> anywhere(0, span.count() + span.count() / 4);
  std::uniform_int_distribution<long> inStretch(0, stretch.count() + stretch.count() / 2);
  std::array<int, kPhaseCount> landed{};
  const int runs = killRuns();
  for (int run = 0; run < runs; ++run) {
    SCOPED_TRACE(run);
    reset();
    int stdoutFd = -1;
    const auto t0 = Clock::now();
    pid_t pid = startProgram(argv, "/dev/null", stdoutFd);
    ASSERT_GT(pid, 0);
    if (run % 3 == 0) {
      std::this_thread::sleep_until(t0 + microseconds(anywhere(random)));
    } else if (auto saved = watch.waitFor("out.csv", pid, t0 + std::chrono::seconds(30))) {
      std::this_thread::sleep_until(*saved + microseconds(inStretch(random)));
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(stdoutFd);

    bool fileParsed = false, stateParsed = false, traceParsed = false;
    auto inFile = keysOf(out, 1, fileParsed);
    auto onTerminal = keysOf(state, 1, stateParsed);
    const bool clearSent = clearFrameSent(trace, traceParsed);
    EXPECT_TRUE(fileParsed) << "FILE is never left half-written";
    EXPECT_TRUE(stateParsed);
    EXPECT_TRUE(traceParsed);
    EXPECT_TRUE(holdsAll(inFile, all) || holdsAll(onTerminal, all))
        << inFile.size() << " in the file, " << onTerminal.size() << " on the terminal";
    // The clear goes out only once FILE holds every record.
    if (clearSent) {
      EXPECT_TRUE(holdsAll(inFile, all));
    }

    Phase phase = WIFEXITED(status)         ? kCompleted
                  : !holdsAll(inFile, all)  ? kReading
                  : !clearSent              ? kSavedNotSent
                  : !onTerminal.empty()     ? kClearing
                                            : kCleared;
    ++landed[phase];
  }
  std::cout << "collect --clear killed " << runs << " times (run " << span.count()
            << " us, FILE-to-cleared stretch " << stretch.count() << " us):\n";
  for (int p = 0; p < kPhaseCount; ++p) {
    std::cout << "  " << landed[p] << "  " << kPhaseNames[p] << '\n';
    ::testing::Test::RecordProperty(std::string("phase") + std::to_string(p), landed[p]);
  }
  EXPECT_LT(landed[kCompleted], runs);
  // The aimed kills reach the stretch between FILE saved and the clear done
  // (a handful of runs may all miss it).
  if (runs >= 30) {
    EXPECT_GT(landed[kSavedNotSent] + landed[kClearing], 0);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace mvcomm::testing
