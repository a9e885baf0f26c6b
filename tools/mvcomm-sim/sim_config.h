// File: tools/mvcomm-sim/sim_config.h
//
// mvcomm-sim's command line and the terminals it builds from it:
//
//   mvcomm-sim [--link PATH] [--terminal N[:new|:old]]... [--records FILE]
//              [--table FILE] [--fault [N@]FAULT]... [--profile [N@]PROFILE]...
//              [--turnaround MS] [-v]
//
// A terminal's model follows from its number (up to 10000 except 2001: new
// model; 2001 and above 10000: old model); ":new" / ":old" only confirm it.
// Without --terminal the line holds terminals 1 and 2001. Terminals named in
// the data files are added. Without --records / --table each terminal gets
// sample records / a sample table. A fault or profile without "N@" goes to
// every terminal; profiles apply in order, after --turnaround.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "emulator/fault.h"
#include "tools/mvcomm/simulated_line.h"

namespace mvcomm::sim {

using cli::TerminalFault;
using cli::TerminalProfile;

struct SimConfig {
  std::optional<std::string> link;           // symlink to the slave
  std::vector<std::uint16_t> terminals;      // machine numbers
  std::optional<std::string> recordsFile;    // machine,employeeid,workclass,cardedtime
  std::optional<std::string> tableFile;      // machine,employeeid,cardid
  std::vector<TerminalFault> faults;
  std::vector<TerminalProfile> profiles;     // device profile choices
  std::chrono::milliseconds turnaround{30};  // reply delay; a pty has no wire time
  bool verbose = false;
  bool help = false;
};

extern const char* const kSimUsage;

// Returns "" or what is wrong with the command line.
std::string parseSimArgs(const std::vector<std::string>& args, SimConfig& config);

// Adds the terminals with their data and faults to `emulator`. Returns ""
// or what is wrong (an unreadable or malformed data file).
std::string buildTerminals(const SimConfig& config, emulator::Emulator& emulator,
                           const emulator::CivilDate& today);

}  // namespace mvcomm::sim
