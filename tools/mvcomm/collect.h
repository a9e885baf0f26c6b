// File: tools/mvcomm/collect.h
//
// `collect`: the safe way to empty a terminal. Reads the records, merges
// them into FILE (records CSV with the terminal number; a record already in
// the file is recognised by its key and not added twice), replaces FILE
// atomically, reads it back and compares, and only then clears the terminal
// when asked to. Any failure before the file is verified leaves the terminal
// untouched.
//
// Clearing empties the whole terminal, not a date range, so with `clear`
// the records of every date are read and saved, not only FROM..TO.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

#include "terminal/datetime.h"
#include "tools/mvcomm/terminal_session.h"

namespace mvcomm::cli {

struct CollectRequest {
  std::string machine;   // as given on the command line
  Date from;
  Date to;
  std::string outPath;
  bool clear = false;
  // Checks that the read brought every record (`count` were decoded);
  // false with the reason in `why` means some may be missing. May be empty.
  std::function<bool(std::size_t count, std::string& why)> transferComplete;
};

struct CollectResult {
  int read = 0;          // records the terminal sent
  int added = 0;         // of those, not yet in the file
  int outsideRange = 0;  // read because of clearing, outside FROM..TO
  bool cleared = false;  // the terminal acknowledged the clear
};

// Returns the exit status: 0 done, 1 a terminal operation or the file
// failed (the message, on `err`, says whether the terminal was cleared).
int collect(TerminalSession& session, const CollectRequest& request, CollectResult& result,
            std::ostream& err);

}  // namespace mvcomm::cli
