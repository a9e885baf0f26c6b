// File: tools/mvcomm/cli.h
//
// The `mvcomm` command line: options, one command per terminal operation,
// output on stdout, errors on stderr as "error <errorcode>: <errormessage>".
// Exit status 0 success, 1 the terminal operation (or collect's file)
// failed, 2 bad usage.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace mvcomm::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Terminals {
  bool stdoutIsTerminal = false;   // table output by default
  bool stderrIsTerminal = false;   // progress shown
};

// Runs one invocation; `args` excludes the program name.
int runMvcomm(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const Terminals& terminals);

}  // namespace mvcomm::cli
