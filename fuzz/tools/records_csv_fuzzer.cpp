// File: fuzz/tools/records_csv_fuzzer.cpp
//
// The records CSV (machine,employeeid,workclass,cardedtime) that collect
// reads back and merges into, and that the simulators load. Beyond "no
// crash": every accepted row is one the tools can write, writing the rows
// and reading them again gives the same rows and the same text, and two
// rows share a key (collect's duplicate test) exactly when they are equal.
// A small accepted file is then collected into on the simulated line (with
// --clear when the input's length is odd): collect must succeed and keep
// every row the file held, in order, adding only records it lacked.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "fuzz/tools/scratch_file.h"
#include "tools/mvcomm/cli.h"
#include "tools/mvcomm/record_text.h"

namespace {

using mvcomm::cli::MachineRecord;
using mvcomm::fuzzing::scratchPath;

void collectInto(const std::string& text, const std::vector<MachineRecord>& rows, bool clear) {
  using namespace mvcomm::cli;
  const std::string& path = scratchPath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  std::vector<std::string> args = {"--simulate", "collect", "1", "2026-03-01", "2026-03-15",
                                   "--out", path};
  if (clear) args.push_back("--clear");
  std::ostringstream out, err;
  if (runMvcomm(args, out, err, Terminals{}) != kExitOk) {
    std::fprintf(stderr, "collect: %s\n", err.str().c_str());
    __builtin_trap();
  }
  std::string after, why;
  std::vector<MachineRecord> now;
  if (!readFile(path, after, why) || !parseRecordsCsv(after, now, why)) __builtin_trap();
  if (now.size() < rows.size()) __builtin_trap();
  std::unordered_set<std::string> keys;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!(now[i] == rows[i])) __builtin_trap();
    keys.insert(rows[i].key());
  }
  for (std::size_t i = rows.size(); i < now.size(); ++i)
    if (!keys.insert(now[i].key()).second) __builtin_trap();
}

bool writable(const MachineRecord& r) {
  const auto& w = r.record.workclass;
  return r.machine >= 0 && r.machine <= 65535 && r.record.employeeid >= 0 &&
         r.record.employeeid <= 65535 && w.size() == 1 && w[0] >= '1' && w[0] <= '8' &&
         (!r.record.cardedtime || r.record.cardedtime->isValid());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mvcomm::cli;
  ::setenv("MVCOMM_SIMULATE_TODAY", "2026-03-15", 1);
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<MachineRecord> rows;
  std::string error;
  if (!parseRecordsCsv(text, rows, error)) {
    if (error.rfind("line ", 0) != 0) __builtin_trap();
    return 0;
  }
  if (!error.empty()) __builtin_trap();
  for (const MachineRecord& r : rows)
    if (!writable(r)) __builtin_trap();

  const std::string written = formatRecordsCsv(rows);
  std::vector<MachineRecord> again;
  if (!parseRecordsCsv(written, again, error) || again != rows) __builtin_trap();
  if (formatRecordsCsv(again) != written) __builtin_trap();

  const std::size_t n = rows.size() < 64 ? rows.size() : 64;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j)
      if ((rows[i].key() == rows[j].key()) != (rows[i] == rows[j])) __builtin_trap();

  if (rows.size() <= 64) collectInto(text, rows, size % 2 == 1);
  return 0;
}
