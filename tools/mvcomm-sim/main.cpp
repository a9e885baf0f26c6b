// File: tools/mvcomm-sim/main.cpp
//
// mvcomm-sim: emulated terminals on a pseudo-terminal. Prints the slave's
// path once it serves (clients and tests wait for that line), links it at
// --link PATH, and runs until SIGTERM or SIGINT.
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "tools/mvcomm-sim/pty_server.h"
#include "tools/mvcomm-sim/sim_config.h"
#include "tools/mvcomm/simulated_line.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

// Replaces a symlink at `link` (never a regular file) with one to `target`.
int makeLink(const std::string& target, const std::string& link) {
  struct stat st {};
  if (::lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) return EEXIST;
    if (::unlink(link.c_str()) != 0) return errno;
  }
  return ::symlink(target.c_str(), link.c_str()) == 0 ? 0 : errno;
}

// A pty shows parity only as the setting in force when the simulator looks,
// so it must read within the host's 8 ms pause after each frame, also on a
// busy machine: ask for a real-time priority, or at least a better nice
// value, where allowed. The server sleeps in poll(2) between bytes.
void askForPromptScheduling() {
  sched_param p{};
  p.sched_priority = 10;
  if (::sched_setscheduler(0, SCHED_FIFO, &p) == 0) return;
  (void)::setpriority(PRIO_PROCESS, 0, -10);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mvcomm::sim;
  SimConfig config;
  std::string why = parseSimArgs(std::vector<std::string>(argv + 1, argv + argc), config);
  if (config.help) {
    std::cout << kSimUsage;
    return 0;
  }
  if (!why.empty()) {
    std::cerr << "mvcomm-sim: " << why << '\n' << kSimUsage;
    return 2;
  }
  mvcomm::emulator::Emulator emulator;
  why = buildTerminals(config, emulator, mvcomm::cli::simulatedToday());
  if (!why.empty()) {
    std::cerr << "mvcomm-sim: " << why << '\n';
    return 2;
  }

  struct sigaction sa {};
  sa.sa_handler = onSignal;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  askForPromptScheduling();
  PtyServer server(emulator, config.verbose ? &std::cerr : nullptr);
  if (int rc = server.open()) {
    std::cerr << "mvcomm-sim: cannot create a pseudo-terminal: " << std::strerror(rc) << '\n';
    return 1;
  }
  if (config.link) {
    if (int rc = makeLink(server.slavePath(), *config.link)) {
      std::cerr << "mvcomm-sim: --link " << *config.link << ": " << std::strerror(rc) << '\n';
      return 1;
    }
  }
  std::cout << server.slavePath() << std::endl;   // ready: clients may open it now
  int rc = server.serve(stopRequested);
  if (config.link) ::unlink(config.link->c_str());
  if (rc) {
    std::cerr << "mvcomm-sim: " << std::strerror(rc) << '\n';
    return 1;
  }
  return 0;
}
