// File: tests/tools/process.h
//
// Running the programs as a user would: mvcomm to completion with its
// output captured, mvcomm-sim in the background until stopped by its pid.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/tools/golden.h"

namespace mvcomm::testing {

// Runs `argv` to the end; `env` entries ("NAME=value") are added to ours.
ToolRun runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

// Starts `argv` with stdout on a pipe and stderr into `stderrPath`.
// Returns the pid, or -1.
pid_t startProgram(const std::vector<std::string>& argv, const std::string& stderrPath,
                   int& stdoutFd);

// One line from `fd` (without its newline), or "" when none came in time.
std::string readLine(int fd, std::chrono::milliseconds timeout);

// mvcomm-sim in the background: start() returns once it prints the pty's
// path (it serves from then on); stop() ends it by its pid.
class SimProcess {
 public:
  ~SimProcess();
  bool start(const std::vector<std::string>& args);
  void stop();
  const std::string& path() const { return path_; }
  std::string log() const;   // its -v output so far
  bool running();

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  std::string path_;
  std::string logPath_;
};

}  // namespace mvcomm::testing
