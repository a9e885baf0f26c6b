// File: fuzz/tools/table_file_fuzzer.cpp
//
// The reference-table files: "employeeid,cardid" (writerefertable) and
// "machine,employeeid,cardid" (mvcomm-sim --table). The first input byte
// picks the form; the rest is the file. Accepted rows are in range and
// survive being printed as the tools print them and read again. Small
// table files also go through `mvcomm --simulate writerefertable`, which
// must accept exactly the rows a terminal can hold and refuse the rest as
// bad usage, never fail on the line (an empty table is the class's to
// refuse).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/tools/scratch_file.h"
#include "tools/mvcomm/cli.h"
#include "tools/mvcomm/record_output.h"
#include "tools/mvcomm/record_text.h"

namespace {

using namespace mvcomm;
using namespace mvcomm::cli;

using mvcomm::fuzzing::scratchPath;

bool inRange(const str_referrecord& r) {
  return r.employeeid >= 0 && r.employeeid <= 65535 && r.cardid >= 0;
}

void tableFile(const std::string& text, bool runTool) {
  std::vector<str_referrecord> rows;
  std::string error;
  if (!parseTableCsv(text, rows, error)) {
    if (error.rfind("line ", 0) != 0) __builtin_trap();
    return;
  }
  for (const auto& r : rows)
    if (!inRange(r)) __builtin_trap();
  std::ostringstream printed;
  printReferTable(printed, Format::kCsv, rows);
  std::vector<str_referrecord> again;
  if (!parseTableCsv(printed.str(), again, error) || again.size() != rows.size())
    __builtin_trap();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (again[i].employeeid != rows[i].employeeid || again[i].cardid != rows[i].cardid)
      __builtin_trap();

  if (!runTool || rows.size() > 64) return;
  bool fits = true;
  for (const auto& r : rows)
    if (r.employeeid == 0 || r.employeeid == 65535 || r.cardid == 0 || r.cardid == 65535)
      fits = false;
  std::FILE* f = std::fopen(scratchPath().c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  std::ostringstream out, err;
  const int rc = runMvcomm({"--simulate", "writerefertable", "1", scratchPath()}, out, err,
                           Terminals{});
  // The class itself refuses an empty table (error 20020).
  const int expected = !fits ? kExitUsage : rows.empty() ? kExitFailed : kExitOk;
  if (rc != expected || (rows.empty() && fits && err.str().rfind("error 20020:", 0) != 0)) {
    std::fprintf(stderr, "writerefertable: status %d: %s\n", rc, err.str().c_str());
    __builtin_trap();
  }
}

void machineTableFile(const std::string& text) {
  std::vector<MachineTableRow> rows;
  std::string error;
  if (!parseMachineTableCsv(text, rows, error)) {
    if (error.rfind("line ", 0) != 0) __builtin_trap();
    return;
  }
  std::string printed(kMachineTableHeader);
  printed += '\n';
  for (const auto& r : rows) {
    if (r.machine < 0 || r.machine > 65535 || !inRange(r.row)) __builtin_trap();
    printed += std::to_string(r.machine) + ',' + std::to_string(r.row.employeeid) + ',' +
               std::to_string(r.row.cardid) + '\n';
  }
  std::vector<MachineTableRow> again;
  if (!parseMachineTableCsv(printed, again, error) || again.size() != rows.size())
    __builtin_trap();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (again[i].machine != rows[i].machine || again[i].row.employeeid != rows[i].row.employeeid ||
        again[i].row.cardid != rows[i].row.cardid)
      __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  ::setenv("MVCOMM_SIMULATE_TODAY", "2026-03-15", 1);
  const std::uint8_t form = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (form & 1) {
    machineTableFile(text);
  } else {
    tableFile(text, (form & 2) != 0);
  }
  return 0;
}
