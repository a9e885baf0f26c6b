// File: tools/mvcomm/simulated_line.cpp
#include "tools/mvcomm/simulated_line.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include "platform/serial/forwarding_port.h"
#include "tools/mvcomm/atomic_file.h"
#include "tools/mvcomm/record_text.h"

#include <cstring>

namespace mvcomm::cli {

namespace {

constexpr std::uint16_t kNewModelTerminal = 1;
constexpr std::uint16_t kOldModelTerminal = 2001;

// A no-op deleter: the line owns its clock and opener and outlives every
// object that uses them within one run.
template <typename T>
std::shared_ptr<T> borrowed(T& object) {
  return std::shared_ptr<T>(std::shared_ptr<void>(), &object);
}

bool loadState(emulator::Emulator& sim, const std::string& text, std::string& error) {
  std::vector<MachineRecord> rows;
  if (!parseRecordsCsv(text, rows, error)) return false;
  for (const MachineRecord& r : rows) {
    if (!r.record.cardedtime) continue;  // a record without a time cannot be stored
    emulator::Record rec;
    const DateTime& t = *r.record.cardedtime;
    rec.date = {t.date.year, t.date.month, t.date.day};
    rec.employeeId = static_cast<std::uint16_t>(r.record.employeeid);
    rec.workClass = static_cast<std::uint8_t>(std::atoi(r.record.workclass.c_str()));
    rec.hour = static_cast<std::uint8_t>(t.hour);
    rec.minute = static_cast<std::uint8_t>(t.minute);
    if (!sim.addTerminal(static_cast<std::uint16_t>(r.machine)).addRecord(rec)) {
      error = "record of " + t.toString() + " does not fit a terminal";
      return false;
    }
  }
  return true;
}

}  // namespace

// Saves the state whenever a port closes.
class SimulatedLine::SavingOpener final : public serial::PortOpener {
 public:
  explicit SavingOpener(SimulatedLine& line) : line_(line) {}
  int open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) override;

 private:
  class Port;
  SimulatedLine& line_;
};

class SimulatedLine::SavingOpener::Port final : public serial::ForwardingPort {
 public:
  Port(std::unique_ptr<serial::SerialPort> inner, SimulatedLine& line)
      : ForwardingPort(std::move(inner)), line_(line) {}
  int close() override {
    int rc = inner().close();
    std::string ignored;  // the run's final save reports a lasting failure
    (void)line_.save(ignored);
    return rc;
  }

 private:
  SimulatedLine& line_;
};

int SimulatedLine::SavingOpener::open(const std::string& name,
                                      std::unique_ptr<serial::SerialPort>& port) {
  std::unique_ptr<serial::SerialPort> opened;
  if (int rc = line_.line_->opener().open(name, opened)) return rc;
  port = std::make_unique<Port>(std::move(opened), line_);
  return 0;
}

namespace {

// Splits "[N@]FAULT" or "[N@]PROFILE"; "" or what is wrong with N.
std::string splitTerminal(const std::string& text, std::optional<std::uint16_t>& terminal, std::string& spec) {
  spec = text;
  terminal.reset();
  if (auto at = text.find('@'); at != std::string::npos) {
    const std::string number = text.substr(0, at);
    char* end = nullptr;
    long n = std::strtol(number.c_str(), &end, 10);
    if (number.empty() || *end != '\0' || n < 0 || n > 65535)
      return text + ": the terminal before @ must be 0 to 65535";
    terminal = static_cast<std::uint16_t>(n);
    spec = text.substr(at + 1);
  }
  return "";
}

}  // namespace

std::string parseTerminalFault(const std::string& text, TerminalFault& out) {
  std::string spec;
  if (std::string why = splitTerminal(text, out.terminal, spec); !why.empty()) return why;
  auto fault = emulator::parseFault(spec);
  if (!fault) return text + ": unknown fault or malformed field";
  out.fault = *fault;
  return "";
}

void injectFault(emulator::Emulator& emulator, const TerminalFault& f) {
  for (emulator::Terminal* t : emulator.terminals())
    if (!f.terminal || *f.terminal == t->number()) t->inject(f.fault);
}

std::string parseTerminalProfile(const std::string& text, TerminalProfile& out) {
  if (std::string why = splitTerminal(text, out.terminal, out.spec); !why.empty()) return why;
  emulator::DeviceProfile check;
  return emulator::parseDeviceProfile(out.spec, check);
}

void applyProfiles(emulator::Emulator& emulator, const std::vector<TerminalProfile>& profiles) {
  for (const TerminalProfile& p : profiles) {
    for (emulator::Terminal* t : emulator.terminals()) {
      if (p.terminal && *p.terminal != t->number()) continue;
      emulator::DeviceProfile profile = t->profile();
      if (emulator::parseDeviceProfile(p.spec, profile).empty()) t->setProfile(profile);  // checked when parsed
    }
  }
}

void addSampleTable(emulator::Terminal& terminal) {
  std::vector<emulator::ReferenceRow> rows;
  for (std::uint16_t i = 0; i < 4; ++i)
    rows.push_back({static_cast<std::uint16_t>(1001 + i), 160001u + i});
  terminal.setReferenceTable(rows);
}

emulator::CivilDate simulatedToday() {
  if (const char* pinned = std::getenv("MVCOMM_SIMULATE_TODAY")) {
    if (auto d = parseDate(pinned); d && d->isValid()) return {d->year, d->month, d->day};
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

SimulatedLine::SimulatedLine(int commport, const emulator::CivilDate& today,
                             std::optional<std::string> stateFile)
    : stateFile_(std::move(stateFile)) {
  auto& newModel = emulator_.addTerminal(kNewModelTerminal);
  auto& oldModel = emulator_.addTerminal(kOldModelTerminal);
  addSampleTable(newModel);
  addSampleTable(oldModel);
  struct stat st {};
  if (stateFile_ && ::stat(stateFile_->c_str(), &st) == 0) {
    std::string text, why;
    if (!readFile(*stateFile_, text, why) || !loadState(emulator_, text, why))
      error_ = *stateFile_ + ": " + why;
  } else {
    emulator::addSampleRecords(newModel, today, 21, 4);
    emulator::addSampleRecords(oldModel, today, 14, 3);
  }
  line_ = std::make_unique<emulator::VirtualLine>(emulator_, "COM" + std::to_string(commport));
  if (stateFile_) {
    opener_ = std::make_shared<SavingOpener>(*this);
  } else {
    opener_ = borrowed(line_->opener());
  }
}

std::shared_ptr<serial::PortOpener> SimulatedLine::opener() { return opener_; }
std::shared_ptr<Clock> SimulatedLine::clock() { return borrowed(line_->clock()); }

bool SimulatedLine::save(std::string& error) {
  if (!stateFile_) return true;
  std::vector<MachineRecord> rows;
  for (emulator::Terminal* t : emulator_.terminals()) {
    for (const emulator::Record& r : t->records()) {
      MachineRecord m;
      m.machine = t->number();
      m.record.employeeid = r.employeeId;
      m.record.workclass = std::to_string(r.workClass);
      m.record.cardedtime = DateTime{{r.date.year, r.date.month, r.date.day}, r.hour, r.minute, 0};
      rows.push_back(std::move(m));
    }
  }
  std::string step;
  if (int rc = replaceFileAtomically(*stateFile_, formatRecordsCsv(rows), step)) {
    error = *stateFile_ + ": " + step + ": " + std::strerror(rc);
    return false;
  }
  return true;
}

}  // namespace mvcomm::cli
