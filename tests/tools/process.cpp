// File: tests/tools/process.cpp
#include "tests/tools/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

extern char** environ;

namespace mvcomm::testing {

namespace {

std::vector<char*> cstrings(const std::vector<std::string>& v) {
  std::vector<char*> out;
  for (const auto& s : v) out.push_back(const_cast<char*>(s.c_str()));
  out.push_back(nullptr);
  return out;
}

std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

}  // namespace

ToolRun runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  int out[2], err[2];
  ToolRun run;
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_adddup2(&fa, err[1], 2);
  auto args = cstrings(argv);
  auto envStrings = environmentWith(env);
  auto envp = cstrings(envStrings);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, args[0], &fa, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  ::close(err[1]);
  if (rc == 0) {
    pollfd p[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
      if (::poll(p, 2, -1) < 0 && errno != EINTR) break;
      for (int i = 0; i < 2; ++i) {
        if (p[i].fd < 0 || p[i].revents == 0) continue;
        char buffer[4096];
        ssize_t n = ::read(p[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
        } else {
          p[i].fd = -1;
          --open;
        }
      }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  ::close(out[0]);
  ::close(err[0]);
  return run;
}

pid_t startProgram(const std::vector<std::string>& argv, const std::string& stderrPath,
                   int& stdoutFd) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addopen(&fa, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  auto args = cstrings(argv);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    return -1;
  }
  stdoutFd = out[0];
  return pid;
}

std::string readLine(int fd, std::chrono::milliseconds timeout) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return "";
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char c;
    ssize_t n = ::read(fd, &c, 1);
    if (n <= 0) return "";
    if (c == '\n') return line;
    line += c;
  }
}

bool SimProcess::start(const std::vector<std::string>& args) {
  char path[] = "/tmp/mvcomm-sim-log-XXXXXX";
  int fd = ::mkstemp(path);
  ::close(fd);
  logPath_ = path;
  std::vector<std::string> argv = {MVCOMM_SIM_BIN};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_ = startProgram(argv, logPath_, stdout_);
  if (pid_ < 0) return false;
  path_ = readLine(stdout_, std::chrono::seconds(10));
  return !path_.empty();
}

bool SimProcess::running() {
  if (pid_ < 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

void SimProcess::stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  if (stdout_ >= 0) ::close(stdout_), stdout_ = -1;
}

SimProcess::~SimProcess() {
  stop();
  if (!logPath_.empty()) ::unlink(logPath_.c_str());
}

std::string SimProcess::log() const {
  std::ifstream in(logPath_);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace mvcomm::testing
