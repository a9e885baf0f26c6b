// File: tools/mvcomm/simulated_line.h
//
// --simulate: the built-in terminals on the virtual line, in virtual time.
// Terminal 1 (new model) and terminal 2001 (old model) each hold sample
// records over the last weeks and a small reference table, so every command
// works without hardware and a 5-second time-out costs nothing.
//
// With a state file the terminals' records persist between runs (the
// records CSV format of record_text.h): loaded when the file exists,
// written back atomically whenever the host closes the port, that is at the
// end of every operation, so a run killed between two operations leaves
// the terminals as the first one left them.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "emulator/civil_time.h"
#include "emulator/emulator.h"
#include "emulator/fault.h"
#include "emulator/virtual_line.h"

namespace mvcomm::cli {

class SimulatedLine {
 public:
  // The line answers to "COM<commport>". `today` ends the sample records.
  // Errors (an unreadable state file) go to `error`; check ok().
  SimulatedLine(int commport, const emulator::CivilDate& today,
                std::optional<std::string> stateFile);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  std::shared_ptr<serial::PortOpener> opener();
  std::shared_ptr<Clock> clock();
  emulator::Emulator& emulator() { return emulator_; }

  // Writes the terminals' records to the state file, if there is one.
  // Returns false with the reason in `error`.
  bool save(std::string& error);

 private:
  emulator::Emulator emulator_;
  class SavingOpener;
  std::unique_ptr<emulator::VirtualLine> line_;
  std::shared_ptr<serial::PortOpener> opener_;
  std::optional<std::string> stateFile_;
  std::string error_;
};

// A fault for one terminal ("2001@nak:set-clock") or for all ("silence").
struct TerminalFault {
  std::optional<std::uint16_t> terminal;   // none: every terminal
  emulator::Fault fault;
};
// Parses "[N@]FAULT" (FAULT as emulator::parseFault takes it); "" or what is wrong.
std::string parseTerminalFault(const std::string& text, TerminalFault& out);
// Injects `f` into the terminals it names.
void injectFault(emulator::Emulator& emulator, const TerminalFault& f);

// Device profile choices for one terminal ("2001@crc=zero") or for all.
struct TerminalProfile {
  std::optional<std::uint16_t> terminal;   // none: every terminal
  std::string spec;                         // as emulator::parseDeviceProfile takes it
};
// Parses "[N@]PROFILE" (PROFILE as emulator::parseDeviceProfile takes it); ""
// or what is wrong.
std::string parseTerminalProfile(const std::string& text, TerminalProfile& out);
// Applies the profiles, in order, to the terminals they name, on top of
// each terminal's profile as it stands.
void applyProfiles(emulator::Emulator& emulator, const std::vector<TerminalProfile>& profiles);

// Adds the sample reference table: employees 1001.. with cards 160001...
void addSampleTable(emulator::Terminal& terminal);

// Today in the host's local time; MVCOMM_SIMULATE_TODAY=YYYY-MM-DD pins it
// (reproducible output for tests and documentation).
emulator::CivilDate simulatedToday();

}  // namespace mvcomm::cli
