// File: tools/mvcomm-sim/sim_config.cpp
#include "tools/mvcomm-sim/sim_config.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "tools/mvcomm/record_text.h"
#include "tools/mvcomm/simulated_line.h"

namespace mvcomm::sim {

const char* const kSimUsage =
    "usage: mvcomm-sim [--link PATH] [--terminal N[:new|:old]]... [--records FILE]\n"
    "                  [--table FILE] [--fault [N@]FAULT]... [--profile [N@]PROFILE]...\n"
    "                  [--turnaround MS] [-v]\n"
    "Serves emulated terminals on a new pseudo-terminal, prints its path, and runs\n"
    "until killed. A FAULT is kind[:command][:bytes=N][:pause=MS][:skip=N][:times=N],\n"
    "for example silence:read-records or cut-short:read-records:bytes=40. A PROFILE\n"
    "is key=value[,key=value]... for what the protocol leaves to a terminal, for\n"
    "example crc=arc-control,write-reply=ack,rate-return=end (see the user guide).\n";

namespace {

bool parseNumber(std::string_view s, long min, long max, long& v) {
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size() && v >= min && v <= max;
}

}  // namespace

std::string parseSimArgs(const std::vector<std::string>& args, SimConfig& c) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "-h" || a == "--help") {
      c.help = true;
    } else if (a == "-v" || a == "--verbose") {
      c.verbose = true;
    } else if (a == "--link") {
      if (!value(v) || v.empty()) return "--link needs a path";
      c.link = v;
    } else if (a == "--records") {
      if (!value(v)) return "--records needs a file";
      c.recordsFile = v;
    } else if (a == "--table") {
      if (!value(v)) return "--table needs a file";
      c.tableFile = v;
    } else if (a == "--turnaround") {
      long ms = 0;
      if (!value(v) || !parseNumber(v, 0, 60000, ms)) return "--turnaround needs 0 to 60000 ms";
      c.turnaround = std::chrono::milliseconds(ms);
    } else if (a == "--terminal") {
      if (!value(v)) return "--terminal needs N[:new|:old]";
      std::string number = v.substr(0, v.find(':'));
      std::string model = v.find(':') == std::string::npos ? "" : v.substr(v.find(':') + 1);
      long n = 0;
      if (!parseNumber(number, 0, 65535, n)) return "--terminal: " + v + ": N must be 0 to 65535";
      const bool isNew = emulator::Terminal::isNewModel(static_cast<std::uint16_t>(n));
      if (!model.empty() && model != "new" && model != "old")
        return "--terminal: " + v + ": the model is new or old";
      if ((model == "new" && !isNew) || (model == "old" && isNew))
        return "--terminal: " + v + ": terminal " + number + " is a" + (isNew ? " new" : "n old") +
               "-model number (up to 10000 except 2001: new; 2001 and above 10000: old)";
      c.terminals.push_back(static_cast<std::uint16_t>(n));
    } else if (a == "--fault") {
      if (!value(v)) return "--fault needs a FAULT";
      TerminalFault tf;
      if (std::string why = cli::parseTerminalFault(v, tf); !why.empty()) return "--fault: " + why;
      c.faults.push_back(tf);
    } else if (a == "--profile") {
      if (!value(v)) return "--profile needs a PROFILE";
      TerminalProfile tp;
      if (std::string why = cli::parseTerminalProfile(v, tp); !why.empty()) return "--profile: " + why;
      c.profiles.push_back(tp);
    } else {
      return "unknown argument " + a;
    }
  }
  return "";
}

std::string buildTerminals(const SimConfig& c, emulator::Emulator& sim,
                           const emulator::CivilDate& today) {
  std::vector<std::uint16_t> numbers = c.terminals;
  if (numbers.empty()) numbers = {1, 2001};
  std::vector<cli::MachineRecord> records;
  std::vector<cli::MachineTableRow> table;
  std::string text, why;
  if (c.recordsFile && (!cli::readFile(*c.recordsFile, text, why) ||
                        !cli::parseRecordsCsv(text, records, why)))
    return *c.recordsFile + ": " + why;
  if (c.tableFile && (!cli::readFile(*c.tableFile, text, why) ||
                      !cli::parseMachineTableCsv(text, table, why)))
    return *c.tableFile + ": " + why;
  for (const auto& r : records) numbers.push_back(static_cast<std::uint16_t>(r.machine));
  for (const auto& r : table) numbers.push_back(static_cast<std::uint16_t>(r.machine));

  for (std::uint16_t n : numbers) {
    const bool fresh = sim.find(n) == nullptr;
    emulator::Terminal& t = sim.addTerminal(n);
    if (!fresh) continue;
    t.setTurnaround(c.turnaround);
    if (!c.recordsFile) emulator::addSampleRecords(t, today, 21, 4);
    if (!c.tableFile) cli::addSampleTable(t);
  }
  for (const auto& r : records) {
    if (!r.record.cardedtime) return "a record needs its cardedtime";
    const DateTime& when = *r.record.cardedtime;
    emulator::Record rec;
    rec.date = {when.date.year, when.date.month, when.date.day};
    rec.employeeId = static_cast<std::uint16_t>(r.record.employeeid);
    rec.workClass = static_cast<std::uint8_t>(std::atoi(r.record.workclass.c_str()));
    rec.hour = static_cast<std::uint8_t>(when.hour);
    rec.minute = static_cast<std::uint8_t>(when.minute);
    if (!sim.find(static_cast<std::uint16_t>(r.machine))->addRecord(rec))
      return "record of " + when.toString() + ": years 1900 to 2155 only";
  }
  if (c.tableFile) {
    for (emulator::Terminal* t : sim.terminals()) {
      std::vector<emulator::ReferenceRow> rows;
      for (const auto& r : table)
        if (r.machine == t->number())
          rows.push_back({static_cast<std::uint16_t>(r.row.employeeid),
                          static_cast<std::uint32_t>(r.row.cardid)});
      t->setReferenceTable(rows);
    }
  }
  cli::applyProfiles(sim, c.profiles);
  for (const auto& tf : c.faults) cli::injectFault(sim, tf);
  return "";
}

}  // namespace mvcomm::sim
