// File: tools/mvcomm/collect.cpp
#include "tools/mvcomm/collect.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "tools/mvcomm/atomic_file.h"
#include "tools/mvcomm/record_text.h"

namespace mvcomm::cli {

namespace {

// The widest range a date travels in on the wire (year - 1900 in one byte).
constexpr Date kFirstWireDate{1900, 1, 1};
constexpr Date kLastWireDate{2155, 12, 31};

void printError(std::ostream& err, const Outcome& o) {
  err << "error " << o.code << ": " << o.message << '\n';
}

// The class has accepted the text as a terminal number by now.
std::int32_t machineNumber(const std::string& text) {
  return static_cast<std::int32_t>(std::lround(std::strtod(text.c_str(), nullptr)));
}

bool inRange(const str_record& r, const Date& from, const Date& to) {
  if (!r.cardedtime) return false;
  return r.cardedtime->date >= from && r.cardedtime->date <= to;
}

}  // namespace

int collect(TerminalSession& session, const CollectRequest& request, CollectResult& result,
            std::ostream& err) {
  const std::string& path = request.outPath;
  const char* notCleared = "; the terminal was not cleared\n";

  // An existing file must be readable before anything is read off the
  // terminal: its records are kept, so it cannot be rewritten blind.
  std::vector<MachineRecord> rows;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    std::string text, why;
    if (!readFile(path, text, why) || !parseRecordsCsv(text, rows, why)) {
      err << "mvcomm: collect: cannot use " << path << ": " << why << notCleared;
      return 1;
    }
  }

  Date from = request.from, to = request.to;
  if (to < from) std::swap(from, to);
  if (request.clear) {
    session.readdata(request.machine, kFirstWireDate, kLastWireDate);
  } else {
    session.readdata(request.machine, request.from, request.to);
  }
  Outcome read = session.outcome();
  if (!read.ok()) {
    printError(err, read);
    err << "mvcomm: collect: nothing written" << notCleared;
    return 1;
  }

  std::string missing;
  const bool complete =
      !request.transferComplete || request.transferComplete(session.records().size(), missing);
  if (!complete) err << "mvcomm: collect: warning: " << missing << "; records may be missing\n";

  const std::int32_t machine = machineNumber(request.machine);
  std::unordered_set<std::string> keys;
  for (const MachineRecord& r : rows) keys.insert(r.key());
  for (const str_record& rec : session.records()) {
    ++result.read;
    if (request.clear && !inRange(rec, from, to)) ++result.outsideRange;
    MachineRecord m{machine, rec};
    if (keys.insert(m.key()).second) {
      rows.push_back(std::move(m));
      ++result.added;
    }
  }

  const std::string content = formatRecordsCsv(rows);
  std::string step;
  if (int rc = replaceFileAtomically(path, content, step)) {
    err << "mvcomm: collect: " << path << ": " << step << ": " << std::strerror(rc) << notCleared;
    return 1;
  }
  // Read back what the disk now holds and compare before anything is lost.
  std::string back, why;
  if (!readFile(path, back, why) || back != content) {
    err << "mvcomm: collect: " << path << ": read-back "
        << (why.empty() ? "differs from what was written" : why) << notCleared;
    return 1;
  }

  if (!request.clear) return 0;
  if (!complete) {
    err << "mvcomm: collect: the records read are saved in " << path
        << ", but the read was incomplete" << notCleared;
    return 1;
  }
  session.cleardata(request.machine);
  Outcome cleared = session.outcome();
  if (!cleared.ok()) {
    printError(err, cleared);
    err << "mvcomm: collect: the records are saved in " << path
        << ", but the terminal did not confirm the clear\n";
    return 1;
  }
  result.cleared = true;
  return 0;
}

}  // namespace mvcomm::cli
