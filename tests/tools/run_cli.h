// File: tests/tools/run_cli.h
//
// Runs one mvcomm invocation in-process (the virtual line under --simulate
// costs no real time) and captures its streams.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/golden.h"
#include "tools/mvcomm/cli.h"

namespace mvcomm::testing {

inline ToolRun runCli(const std::vector<std::string>& args, bool stdoutTty = false,
                      bool stderrTty = false) {
  pinSimulatedToday();
  std::ostringstream out, err;
  ToolRun run;
  run.status = cli::runMvcomm(args, out, err, cli::Terminals{stdoutTty, stderrTty});
  run.out = out.str();
  run.err = err.str();
  return run;
}

}  // namespace mvcomm::testing
