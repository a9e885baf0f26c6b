// File: tools/mvcomm/atomic_file.cpp
#include "tools/mvcomm/atomic_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace mvcomm::cli {

namespace {

std::string directoryOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

int fsyncRetry(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

int replaceFileAtomically(const std::string& path, std::string_view content, std::string& step) {
  std::string temp = path + ".tmp.XXXXXX";
  step = "create temporary file";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return errno;
  // Keep the target's permissions when it exists; mkstemp makes 0600.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    (void)::fchmod(fd, st.st_mode & 07777);
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    (void)::fchmod(fd, 0666 & ~mask);
  }
  int rc = 0;
  step = "write";
  rc = writeAll(fd, content);
  if (rc == 0) {
    step = "fsync";
    rc = fsyncRetry(fd);
  }
  if (::close(fd) != 0 && rc == 0) {
    step = "close";
    rc = errno;
  }
  if (rc == 0) {
    step = "rename";
    if (::rename(temp.c_str(), path.c_str()) != 0) rc = errno;
  }
  if (rc != 0) {
    ::unlink(temp.c_str());
    return rc;
  }
  step = "fsync directory";
  int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  rc = fsyncRetry(dir);
  ::close(dir);
  return rc;
}

}  // namespace mvcomm::cli
