// File: fuzz/tools/sim_state_fuzzer.cpp
//
// The --sim-state file of `mvcomm --simulate`: records CSV loaded into the
// simulated terminals and written back when a port closes. A file that
// loads puts each timed record on its terminal; saving and loading again
// leaves every terminal with the very same records, so the state survives
// any number of runs unchanged. The same file given to mvcomm-sim as
// --records must load there exactly when it loads here (mvcomm-sim refuses
// an untimed record, which the state file skips).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "fuzz/tools/scratch_file.h"
#include "tools/mvcomm-sim/sim_config.h"
#include "tools/mvcomm/record_text.h"
#include "tools/mvcomm/simulated_line.h"

namespace {

using namespace mvcomm;
using namespace mvcomm::cli;

using mvcomm::fuzzing::scratchPath;

using Held = std::map<std::uint16_t, std::vector<emulator::Record>>;

Held recordsOf(emulator::Emulator& sim) {
  Held held;
  for (emulator::Terminal* t : sim.terminals()) held[t->number()] = t->records();
  return held;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = scratchPath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  const emulator::CivilDate today{2026, 3, 15};
  std::string simError;
  {
    sim::SimConfig config;
    config.recordsFile = path;
    emulator::Emulator simulator;
    simError = sim::buildTerminals(config, simulator, today);
  }
  Held first;
  {
    SimulatedLine line(1, today, path);
    if (!line.ok()) {
      if (line.error().rfind(path + ": ", 0) != 0) __builtin_trap();
      if (simError.empty()) __builtin_trap();
      return 0;
    }
    first = recordsOf(line.emulator());
    // Every timed record of the file is on its terminal, to the minute.
    std::vector<MachineRecord> rows;
    std::string why;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!parseRecordsCsv(text, rows, why)) __builtin_trap();
    bool allTimed = true;
    for (const MachineRecord& r : rows) allTimed = allTimed && r.record.cardedtime.has_value();
    if (simError.empty() != allTimed) {
      std::fprintf(stderr, "mvcomm-sim --records: '%s'\n", simError.c_str());
      __builtin_trap();
    }
    for (const MachineRecord& r : rows) {
      if (!r.record.cardedtime) continue;
      const DateTime& t = *r.record.cardedtime;
      const emulator::Record want{{t.date.year, t.date.month, t.date.day},
                                  static_cast<std::uint16_t>(r.record.employeeid),
                                  static_cast<std::uint8_t>(r.record.workclass[0] - '0'),
                                  static_cast<std::uint8_t>(t.hour),
                                  static_cast<std::uint8_t>(t.minute)};
      const auto& held = first[static_cast<std::uint16_t>(r.machine)];
      bool found = false;
      for (const auto& h : held) found = found || h == want;
      if (!found) __builtin_trap();
    }
    std::string why2;
    if (!line.save(why2)) {
      std::fprintf(stderr, "save: %s\n", why2.c_str());
      std::abort();
    }
  }
  SimulatedLine reloaded(1, today, path);
  if (!reloaded.ok()) {
    std::fprintf(stderr, "reload: %s\n", reloaded.error().c_str());
    __builtin_trap();
  }
  if (recordsOf(reloaded.emulator()) != first) __builtin_trap();
  return 0;
}
