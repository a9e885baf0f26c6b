// File: tools/mvcomm/progress_reporter.h
//
// Progress of long work on stderr, on one line rewritten in place: table
// blocks, old-model frames and the long waits. Only for a person watching
// (stderr a terminal, no --quiet); scripts get nothing.
#pragma once

#include <ostream>

#include "terminal/n_cst_mvcomm.h"

namespace mvcomm::cli {

class ProgressReporter {
 public:
  explicit ProgressReporter(std::ostream& err) : err_(err) {}
  ~ProgressReporter() { finish(); }

  void show(const Progress& p);
  // Erases the progress line (before other output on stderr, and at exit).
  void finish();

  // A callback for the terminal class that forwards to show().
  ProgressCallback callback() {
    return [this](const Progress& p) { show(p); };
  }

 private:
  std::ostream& err_;
  bool shown_ = false;   // a progress line is on the screen
};

}  // namespace mvcomm::cli
