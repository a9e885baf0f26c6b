// File: tools/mvcomm/progress_reporter.cpp
#include "tools/mvcomm/progress_reporter.h"

#include <cstdio>

namespace mvcomm::cli {

void ProgressReporter::show(const Progress& p) {
  char text[96];
  switch (p.kind) {
    case Progress::Kind::kReferBlock:
      std::snprintf(text, sizeof text, "reference table: block %d", p.count);
      break;
    case Progress::Kind::kOldFrame:
      std::snprintf(text, sizeof text, "records: frame %d", p.count);
      break;
    case Progress::Kind::kWaiting:
      std::snprintf(text, sizeof text, "waiting %.1f s",
                    std::chrono::duration<double>(p.wait).count());
      break;
  }
  // Carriage return and erase-to-end keep it on one line.
  err_ << "\r\033[K" << text << std::flush;
  shown_ = true;
}

void ProgressReporter::finish() {
  if (!shown_) return;
  err_ << "\r\033[K" << std::flush;
  shown_ = false;
}

}  // namespace mvcomm::cli
