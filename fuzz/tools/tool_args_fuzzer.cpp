// File: fuzz/tools/tool_args_fuzzer.cpp
//
// The short texts the tools take on their command lines, chosen by the
// first input byte:
//   0  a serial mode string ("COM1:2400,S,8,1")
//   1  a date or date-time argument ("YYYY-MM-DD[ HH:MM:SS]")
//   2  a fault for the simulated terminals ("[N@]kind[:command][:key=N]")
//   3  mvcomm-sim's arguments, and the terminals built from them
//   4  a whole `mvcomm --simulate ...` command line, run on the virtual line
// Arguments are the rest of the input split at newlines. Paths are refused
// (no argument may hold '/'), and files the tool writes land in a scratch
// folder, the working folder during a run and emptied after it.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/serial/mode_string.h"
#include "tools/mvcomm-sim/sim_config.h"
#include "tools/mvcomm/cli.h"
#include "tools/mvcomm/record_text.h"
#include "tools/mvcomm/trace_port.h"

namespace {

using namespace mvcomm;

// A private scratch folder, made once and removed at exit.
const std::string& scratchDir() {
  static const std::string dir = [] {
    char name[] = "/tmp/mvcomm-fuzz-args-XXXXXX";
    if (!::mkdtemp(name)) std::abort();
    return std::string(name);
  }();
  static const int registered = std::atexit([] { ::rmdir(scratchDir().c_str()); });
  (void)registered;
  return dir;
}

void emptyScratch() {
  DIR* d = ::opendir(scratchDir().c_str());
  if (!d) return;
  while (dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") ::unlink((scratchDir() + "/" + n).c_str());
  }
  ::closedir(d);
}

std::vector<std::string> splitArgs(const std::string& text, std::size_t max) {
  std::vector<std::string> args;
  std::size_t start = 0;
  while (start <= text.size() && args.size() < max) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    args.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return args;
}

void modeString(const std::string& text) {
  const serial::LineSettings base{9600, serial::Parity::kNone, 7, serial::StopBits::kTwo};
  serial::LineSettings s = base;
  const int rc = serial::parseModeString(text, s);
  if (rc != 0) {
    if (!(s == base)) __builtin_trap();   // a refused string changes nothing
    return;
  }
  if (s.baud == 0 || s.dataBits < 5 || s.dataBits > 8 || serial::parityLetter(s.parity) == '?')
    __builtin_trap();
  const char* stop = s.stopBits == serial::StopBits::kOne            ? "1"
                     : s.stopBits == serial::StopBits::kOnePointFive ? "1.5"
                                                                     : "2";
  const std::string again = "COM1:" + std::to_string(s.baud) + "," +
                            serial::parityLetter(s.parity) + "," + std::to_string(s.dataBits) +
                            "," + stop;
  serial::LineSettings t{};
  if (serial::parseModeString(again, t) != 0 || !(t == s)) __builtin_trap();
}

void dateArgument(const std::string& text) {
  if (auto d = cli::parseDate(text)) {
    if (d->toString() != text) __builtin_trap();
  }
  if (auto t = cli::parseDateTime(text)) {
    if (t->toString() != text) __builtin_trap();
  }
}

void faultArgument(const std::string& text) {
  cli::TerminalFault f;
  const std::string why = cli::parseTerminalFault(text, f);
  if (!why.empty() && why.rfind(text + ": ", 0) != 0) __builtin_trap();
}

bool hasPath(const std::vector<std::string>& args) {
  for (const auto& a : args)
    if (a.find('/') != std::string::npos) return true;
  return false;
}

void simArguments(const std::string& text) {
  const auto args = splitArgs(text, 16);
  if (hasPath(args)) return;
  sim::SimConfig config;
  if (!sim::parseSimArgs(args, config).empty() || config.recordsFile || config.tableFile) return;
  emulator::Emulator emulator;
  if (!sim::buildTerminals(config, emulator, {2026, 3, 15}).empty()) __builtin_trap();
  for (std::uint16_t n : config.terminals)
    if (!emulator.find(n)) __builtin_trap();
}

// A fault's byte count makes the simulated terminal build a reply that
// long, up to 10^9 bytes: past what any real reply holds (a record stream
// is at most 150000 bytes) such counts only measure memory and time.
bool hugeFaultReply(const std::string& arg) {
  for (std::size_t at = arg.find("bytes="); at != std::string::npos;
       at = arg.find("bytes=", at + 1)) {
    std::size_t digits = 0;
    while (at + 6 + digits < arg.size() && arg[at + 6 + digits] >= '0' &&
           arg[at + 6 + digits] <= '9')
      ++digits;
    if (digits > 6 || (digits == 6 && arg.compare(at + 6, 6, "200000") > 0)) return true;
  }
  return false;
}

void mvcommCommandLine(const std::string& text) {
  std::vector<std::string> args = {"--simulate"};
  for (auto& a : splitArgs(text, 12)) args.push_back(std::move(a));
  for (const auto& a : args)
    if (a.find('/') != std::string::npos || a.find("automation") != std::string::npos ||
        hugeFaultReply(a))
      return;
  // Only the run itself happens in the scratch folder, so the fuzzer's own
  // files (new inputs, and artifacts unless -artifact_prefix says where)
  // stay where it was started.
  const int home = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (home < 0 || ::chdir(scratchDir().c_str()) != 0) std::abort();
  std::ostringstream out, err;
  const int rc = cli::runMvcomm(args, out, err, cli::Terminals{});
  emptyScratch();
  if (::fchdir(home) != 0) std::abort();
  ::close(home);
  if (rc != cli::kExitOk && rc != cli::kExitFailed && rc != cli::kExitUsage) __builtin_trap();
  if (rc != cli::kExitOk && err.str().empty()) __builtin_trap();   // a failure always says why
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 512) return 0;
  ::setenv("MVCOMM_SIMULATE_TODAY", "2026-03-15", 1);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 5) {
    case 0: modeString(text); break;
    case 1: dateArgument(text); break;
    case 2: faultArgument(text); break;
    case 3: simArguments(text); break;
    default: mvcommCommandLine(text); break;
  }
  return 0;
}
