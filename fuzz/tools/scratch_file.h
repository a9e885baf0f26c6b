// File: fuzz/tools/scratch_file.h
//
// One scratch file per fuzzing process, for the inputs the tools read from
// a path; removed when the process exits.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace mvcomm::fuzzing {

inline const std::string& scratchPath() {
  static const std::string path = [] {
    char name[] = "/tmp/mvcomm-fuzz-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) std::abort();
    ::close(fd);
    return std::string(name);
  }();
  static const int registered = std::atexit([] { ::unlink(scratchPath().c_str()); });
  (void)registered;
  return path;
}

}  // namespace mvcomm::fuzzing
