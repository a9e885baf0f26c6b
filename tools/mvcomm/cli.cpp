// File: tools/mvcomm/cli.cpp
//
// Sections: usage text; option parsing; the line environment (simulated,
// device, trace, progress); one function per command; the command table
// (names, help texts, handlers); runMvcomm, which dispatches through it.
#include "tools/mvcomm/cli.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>

#include "emulator/wire.h"
#include "platform/serial/termios_port.h"
#include "tools/mvcomm/collect.h"
#include "tools/mvcomm/device_opener.h"
#include "tools/mvcomm/automation_session.h"
#include "tools/mvcomm/direct_session.h"
#include "tools/mvcomm/progress_reporter.h"
#include "tools/mvcomm/record_output.h"
#include "tools/mvcomm/record_text.h"
#include "tools/mvcomm/selftest.h"
#include "tools/mvcomm/simulated_line.h"
#include "tools/mvcomm/stream_watch.h"
#include "tools/mvcomm/trace_info.h"
#include "tools/mvcomm/trace_port.h"

namespace mvcomm::cli {

namespace {

// ---- usage text ------------------------------------------------------------

constexpr const char* kUsage =
    "usage: mvcomm [--port N | --device PATH] [--baud 2400|4800|9600|14400] [--timelapse MS]\n"
    "              [--format table|csv|json] [--trace FILE] [--quiet] [--via direct|automation]\n"
    "              [--simulate [--sim-state FILE] [--sim-fault [N@]FAULT]... [--sim-profile [N@]PROFILE]...]\n"
    "              COMMAND ARGS\n"
    "commands:\n"
    "  setclock MACHINE [now | \"YYYY-MM-DD HH:MM:SS\"]\n"
    "  readdata MACHINE FROM TO                  dates as YYYY-MM-DD\n"
    "  cleardata MACHINE\n"
    "  readrefertable MACHINE\n"
    "  writerefertable MACHINE FILE              CSV rows employeeid,cardid (header optional)\n"
    "  collect MACHINE FROM TO --out FILE [--clear]\n"
    "  selftest --device PATH [--loopback]\n"
    "  trace-info FILE                           what a --trace FILE shows about the terminal\n"
    "Run 'mvcomm COMMAND --help' for one command.\n";

// ---- option parsing --------------------------------------------------------

struct Options {
  std::optional<int> port;
  std::optional<std::string> device;
  int baud = 9600;
  std::optional<int> timelapseMs;
  std::optional<Format> format;
  bool simulate = false;
  std::optional<std::string> simState;
  std::vector<TerminalFault> simFaults;
  std::vector<TerminalProfile> simProfiles;
  std::optional<std::string> trace;
  bool quiet = false;
  bool help = false;
  std::optional<std::string> out;   // collect
  bool clear = false;               // collect
  bool loopback = false;            // selftest
  bool viaAutomation = false;       // --via automation
  std::string command;
  std::vector<std::string> args;
};

struct UsageError {
  std::string message;
};

bool parseNumber(const std::string& s, long long min, long long max, int& value) {
  long long v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || v < min || v > max) return false;
  value = static_cast<int>(v);
  return true;
}

// Fills `o`; returns an error message for bad usage, else nothing.
std::optional<UsageError> parseOptions(const std::vector<std::string>& args, Options& o) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg.size() != 2)) {
      if (o.command.empty()) {
        o.command = arg;
      } else {
        o.args.push_back(arg);
      }
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
      inlineValue = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    auto value = [&](std::string& v) -> std::optional<UsageError> {
      if (inlineValue) {
        v = *inlineValue;
      } else if (i + 1 < args.size()) {
        v = args[++i];
      } else {
        return UsageError{arg + " needs a value"};
      }
      return std::nullopt;
    };
    auto flag = [&]() -> std::optional<UsageError> {
      if (inlineValue) return UsageError{arg + " takes no value"};
      return std::nullopt;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--quiet" || arg == "-q") {
      if (auto e = flag()) return e;
      o.quiet = true;
    } else if (arg == "--simulate") {
      if (auto e = flag()) return e;
      o.simulate = true;
    } else if (arg == "--clear") {
      if (auto e = flag()) return e;
      o.clear = true;
    } else if (arg == "--loopback") {
      if (auto e = flag()) return e;
      o.loopback = true;
    } else if (arg == "--port") {
      if (auto e = value(v)) return e;
      int n = 0;
      if (!parseNumber(v, 0, 32767, n)) return UsageError{"--port needs a number 0 to 32767"};
      o.port = n;
    } else if (arg == "--device") {
      if (auto e = value(v)) return e;
      if (v.empty()) return UsageError{"--device needs a path"};
      o.device = v;
    } else if (arg == "--baud") {
      if (auto e = value(v)) return e;
      int n = 0;
      if (!parseNumber(v, 0, 99999, n) || (n != 2400 && n != 4800 && n != 9600 && n != 14400))
        return UsageError{"--baud must be 2400, 4800, 9600 or 14400"};
      o.baud = n;
    } else if (arg == "--timelapse") {
      if (auto e = value(v)) return e;
      int n = 0;
      if (!parseNumber(v, -2147483647LL - 1, 2147483647LL, n))
        return UsageError{"--timelapse needs milliseconds"};
      o.timelapseMs = n;
    } else if (arg == "--format") {
      if (auto e = value(v)) return e;
      if (v == "table") {
        o.format = Format::kTable;
      } else if (v == "csv") {
        o.format = Format::kCsv;
      } else if (v == "json") {
        o.format = Format::kJson;
      } else {
        return UsageError{"--format must be table, csv or json"};
      }
    } else if (arg == "--sim-fault") {
      if (auto e = value(v)) return e;
      TerminalFault f;
      if (std::string why = parseTerminalFault(v, f); !why.empty())
        return UsageError{"--sim-fault: " + why};
      o.simFaults.push_back(f);
    } else if (arg == "--sim-profile") {
      if (auto e = value(v)) return e;
      TerminalProfile p;
      if (std::string why = parseTerminalProfile(v, p); !why.empty())
        return UsageError{"--sim-profile: " + why};
      o.simProfiles.push_back(p);
    } else if (arg == "--sim-state") {
      if (auto e = value(v)) return e;
      o.simState = v;
    } else if (arg == "--trace") {
      if (auto e = value(v)) return e;
      o.trace = v;
    } else if (arg == "--out") {
      if (auto e = value(v)) return e;
      o.out = v;
    } else if (arg == "--via") {
      if (auto e = value(v)) return e;
      if (v != "direct" && v != "automation")
        return UsageError{"--via: 'direct' or 'automation'"};
      o.viaAutomation = v == "automation";
    } else {
      return UsageError{"unknown option " + arg};
    }
  }
  return std::nullopt;
}

// ---- the line environment --------------------------------------------------

template <typename T>
std::shared_ptr<T> borrowed(T& object) {
  return std::shared_ptr<T>(std::shared_ptr<void>(), &object);
}

struct Environment {
  std::unique_ptr<SimulatedLine> simulated;
  std::shared_ptr<serial::PortOpener> opener;
  std::shared_ptr<Clock> clock;
  std::shared_ptr<TraceWriter> trace;
  std::shared_ptr<StreamWatch> watch = std::make_shared<StreamWatch>();
};

// Builds the line for this run; returns an error text on failure.
std::string makeEnvironment(const Options& o, std::int16_t commport, Environment& env) {
  const std::string portName = "COM" + std::to_string(commport);
  if (o.simulate) {
    env.simulated = std::make_unique<SimulatedLine>(commport, simulatedToday(), o.simState);
    if (!env.simulated->ok()) return env.simulated->error();
    applyProfiles(env.simulated->emulator(), o.simProfiles);
    for (const auto& f : o.simFaults) injectFault(env.simulated->emulator(), f);
    env.opener = env.simulated->opener();
    env.clock = env.simulated->clock();
  } else {
    env.clock = borrowed<Clock>(MonotonicClock::instance());
    if (o.device) {
      env.opener = std::make_shared<DeviceOpener>(portName, *o.device);
    } else {
      env.opener = std::make_shared<serial::TermiosPortOpener>();
    }
  }
  env.opener = std::make_shared<WatchingOpener>(env.opener, env.watch);
  if (o.trace) {
    std::FILE* f = std::fopen(o.trace->c_str(), "w");
    if (!f) return *o.trace + ": " + std::strerror(errno);
    env.trace = std::make_shared<TraceWriter>(f, env.clock);
    env.opener = std::make_shared<TracingOpener>(env.opener, env.trace);
  }
  return "";
}

// Says once, on stderr and in the trace, when a terminal's frames carried
// no check the terminal class knows: they were taken on their structure.
void noteUncheckedFrames(const Environment& env, std::ostream& err) {
  std::vector<std::string> said;
  for (const SessionCheck& c : env.watch->checks()) {
    if (c.finding.classChecks()) continue;
    const std::string carry = !c.finding.form     ? "check bytes of no form known"
                              : c.finding.form->zero ? "zero check bytes"
                                                     : "a " + c.finding.formText() + " check, which the terminal class does not know";
    const std::string text = "the terminal's " + c.what + " carry " + carry;
    if (std::find(said.begin(), said.end(), text) != said.end()) continue;
    said.push_back(text);
    err << "mvcomm: note: " << text
        << "; they were taken on their structure alone ('mvcomm trace-info' on a --trace file shows "
           "what the terminal sends)\n";
    if (env.trace) env.trace->event("note " + text + "; taken on structure alone");
  }
}

// ---- commands --------------------------------------------------------------

// What a command runs with. The line and the session are there for the
// commands that need them (Command::needs), null for the others.
struct Run {
  const Options& o;
  std::ostream& out;
  std::ostream& err;
  const Environment* env = nullptr;
  TerminalSession* session = nullptr;
  ProgressReporter* progress = nullptr;   // null when progress is not shown
  Format format = Format::kCsv;

  // Prints the outcome when it is a failure; returns the exit status.
  int finish() {
    if (progress) progress->finish();
    Outcome outcome = session->outcome();
    if (outcome.ok()) return kExitOk;
    err << "error " << outcome.code << ": " << outcome.message << '\n';
    return kExitFailed;
  }
  void note(const std::string& text) {
    if (format == Format::kTable) out << text << '\n';
  }
};

// The record transfer is checked frame by frame (stream_watch.h); the
// model follows from the terminal's number.
std::function<bool(std::size_t, std::string&)> transferCheck(const Run& r,
                                                             const std::string& machine) {
  char* end = nullptr;
  long n = std::strtol(machine.c_str(), &end, 10);
  if (!end || *end != '\0' || n < 0 || n > 65535) return {};
  const bool newModel = n <= 10000 && n != 2001;
  auto watch = r.env->watch;
  return [watch, newModel](std::size_t count, std::string& why) {
    std::size_t carried = 0;
    const bool whole = newModel ? newModelStreamComplete(watch->lastReception(), carried, why)
                                : oldModelTransferComplete(watch->exchanges(), carried, why);
    if (!whole) return false;
    if (carried != count) {
      why = "the transfer carried " + std::to_string(carried) + " records, " +
            std::to_string(count) + " were decoded";
      return false;
    }
    return true;
  };
}

DateTime localNow() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return DateTime{{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday}, t.tm_hour, t.tm_min, t.tm_sec};
}

int cmdSetclock(Run& r) {
  DateTime clock;
  if (r.o.args.size() < 2 || r.o.args[1] == "now") {
    clock = localNow();
  } else if (auto t = parseDateTime(r.o.args[1])) {
    clock = *t;
  } else {
    throw UsageError{"setclock: the time must be now or \"YYYY-MM-DD HH:MM:SS\""};
  }
  r.session->setclock(r.o.args[0], clock);
  int rc = r.finish();
  if (rc == kExitOk) r.note("terminal " + r.o.args[0] + ": clock set to " + clock.toString());
  return rc;
}

Date dateArg(const std::string& text, const char* what) {
  auto d = parseDate(text);
  if (!d) throw UsageError{std::string(what) + " must be a date YYYY-MM-DD"};
  return *d;
}

int cmdReaddata(Run& r) {
  Date from = dateArg(r.o.args[1], "FROM");
  Date to = dateArg(r.o.args[2], "TO");
  r.session->readdata(r.o.args[0], from, to);
  int rc = r.finish();
  if (rc != kExitOk) return rc;
  auto records = r.session->records();
  std::string why;
  if (auto check = transferCheck(r, r.o.args[0]); check && !check(records.size(), why))
    r.err << "mvcomm: readdata: warning: " << why << "; records may be missing\n";
  printRecords(r.out, r.format, records);
  return rc;
}

int cmdCleardata(Run& r) {
  r.session->cleardata(r.o.args[0]);
  int rc = r.finish();
  if (rc == kExitOk) r.note("terminal " + r.o.args[0] + ": records cleared");
  return rc;
}

// A table transfer opens no session with an A2 frame, so a terminal still at
// the rate of an earlier readdata may not hear it: say so when the first
// block drew no reply.
void hintUnheardTable(const Run& r, std::uint8_t blockCommand) {
  const StreamWatch& watch = *r.env->watch;
  if (watch.sent(blockCommand) == 1 && watch.unanswered(blockCommand) == 1)
    r.err << "mvcomm: hint: terminal " << r.o.args[0]
          << " did not answer the first block; a terminal may stay at the rate of an earlier readdata "
             "until a session opens (setclock, readdata or cleardata do) or it is quiet for a while: "
             "try again\n";
}

int cmdReadrefertable(Run& r) {
  r.session->readrefertable(r.o.args[0]);
  int rc = r.finish();
  if (rc == kExitOk) printReferTable(r.out, r.format, r.session->refertable());
  if (rc != kExitOk) hintUnheardTable(r, emulator::wire::kCmdReadBlock);
  return rc;
}

// Rows that would not survive the trip: the terminal's table marks empty
// slots with 0 and 65535, so such rows would vanish on the next read.
constexpr std::size_t kMaxTableRows = 2911;

std::vector<str_referrecord> loadTable(const std::string& path) {
  std::string text, why;
  std::vector<str_referrecord> rows;
  if (!readFile(path, text, why) || !parseTableCsv(text, rows, why))
    throw UsageError{"writerefertable: " + path + ": " + why};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[i];
    if (row.employeeid == 0 || row.employeeid == 65535 || row.cardid == 0 ||
        row.cardid == 65535)
      throw UsageError{"writerefertable: " + path + ": row " + std::to_string(i + 1) +
                       ": employee and card numbers 0 and 65535 mark empty slots on a terminal"};
  }
  if (rows.size() > kMaxTableRows)
    throw UsageError{"writerefertable: " + path + ": at most 2911 rows fit a terminal"};
  return rows;
}

int cmdWriterefertable(Run& r) {
  auto rows = loadTable(r.o.args[1]);
  r.session->writerefertable(r.o.args[0], rows);
  int rc = r.finish();
  if (rc == kExitOk) {
    r.note("terminal " + r.o.args[0] + ": " + std::to_string(rows.size()) + " rows written");
  } else if (r.env->watch->sent(emulator::wire::kCmdWriteBlock) > r.env->watch->unanswered(emulator::wire::kCmdWriteBlock)) {
    // A block went through, or may have: the terminal's old table is gone.
    r.err << "mvcomm: writerefertable: the transfer stopped after it had begun; terminal " << r.o.args[0]
          << "'s table may now be partial: write it again\n";
  } else {
    hintUnheardTable(r, emulator::wire::kCmdWriteBlock);
  }
  return rc;
}

int cmdCollect(Run& r) {
  if (!r.o.out) throw UsageError{"collect needs --out FILE"};
  CollectRequest request{r.o.args[0], dateArg(r.o.args[1], "FROM"), dateArg(r.o.args[2], "TO"),
                         *r.o.out, r.o.clear, transferCheck(r, r.o.args[0])};
  CollectResult result;
  int rc = collect(*r.session, request, result, r.err);
  if (r.progress) r.progress->finish();
  if (rc != kExitOk) return rc;
  if (r.format == Format::kJson) {
    r.out << "{\"machine\": \"" << request.machine << "\", \"read\": " << result.read
          << ", \"added\": " << result.added << ", \"outside_range\": " << result.outsideRange
          << ", \"cleared\": " << (result.cleared ? "true" : "false") << "}\n";
  } else if (!r.o.quiet) {
    r.out << "terminal " << request.machine << ": " << result.read << " records read, "
          << result.added << " new in " << request.outPath;
    if (result.outsideRange) r.out << " (" << result.outsideRange << " outside the range)";
    r.out << (result.cleared ? "; terminal cleared\n" : "\n");
  }
  return rc;
}

int cmdSelftest(Run& r) {
  std::unique_ptr<serial::SerialPort> port;
  const std::string name = "COM" + std::to_string(r.o.port.value_or(1));
  if (int rc = r.env->opener->open(name, port)) {
    r.err << "error " << rc << ": API Error:" << std::strerror(rc) << '\n';
    return kExitFailed;
  }
  int rc = selftest(*port, *r.env->clock, r.o.loopback, r.out);
  (void)port->close();
  return rc;
}

int cmdTraceInfo(Run& r) {
  std::string text, why;
  if (!readFile(r.o.args[0], text, why) || !traceInfo(text, r.out, why)) {
    r.err << "mvcomm: trace-info: " << r.o.args[0] << ": " << why << '\n';
    return kExitFailed;
  }
  return kExitOk;
}

// ---- the command table -------------------------------------------------------

// What runMvcomm builds before a command runs; each need includes the ones
// before it.
enum class Needs {
  kNothing,   // options only
  kLine,      // the line environment (port opener, clock)
  kSession,   // a terminal session on it, the output format and progress
};

struct Command {
  const char* name;
  int minArgs;             // ARGS after the command name
  int maxArgs;
  Needs needs;
  int (*handler)(Run&);    // the exit status; may throw UsageError (kSession only)
  const char* help;        // for --help, and after a usage error
};

constexpr Command kCommands[] = {
    {"setclock", 1, 2, Needs::kSession, cmdSetclock,
     "usage: mvcomm [OPTIONS] setclock MACHINE [now | \"YYYY-MM-DD HH:MM:SS\"]\n"
     "Sets terminal MACHINE's clock (default: now, the host's local time).\n"
     "Seconds are not sent to the terminal.\n"},
    {"readdata", 3, 3, Needs::kSession, cmdReaddata,
     "usage: mvcomm [OPTIONS] readdata MACHINE FROM TO\n"
     "Prints the clock-in records of terminal MACHINE dated FROM to TO (YYYY-MM-DD,\n"
     "either order) as employeeid,workclass,cardedtime.\n"},
    {"cleardata", 1, 1, Needs::kSession, cmdCleardata,
     "usage: mvcomm [OPTIONS] cleardata MACHINE\n"
     "Erases every clock-in record of terminal MACHINE. Prefer 'collect --clear',\n"
     "which clears only after the records are safely on disk.\n"},
    {"readrefertable", 1, 1, Needs::kSession, cmdReadrefertable,
     "usage: mvcomm [OPTIONS] readrefertable MACHINE\n"
     "Prints terminal MACHINE's reference table as employeeid,cardid.\n"},
    {"writerefertable", 2, 2, Needs::kSession, cmdWriterefertable,
     "usage: mvcomm [OPTIONS] writerefertable MACHINE FILE\n"
     "Replaces terminal MACHINE's reference table with the CSV rows employeeid,cardid\n"
     "of FILE (header optional; employees 1 to 65534, cards 1 to 2147483647 but not\n"
     "65535; at most 2911 rows).\n"},
    {"collect", 3, 3, Needs::kSession, cmdCollect,
     "usage: mvcomm [OPTIONS] collect MACHINE FROM TO --out FILE [--clear]\n"
     "Reads the records of terminal MACHINE dated FROM to TO and adds those not yet in\n"
     "FILE (CSV machine,employeeid,workclass,cardedtime), replacing FILE atomically and\n"
     "reading it back. With --clear the terminal is then cleared; since clearing\n"
     "empties the whole terminal, --clear saves the records of every date. If anything\n"
     "fails before FILE is verified, the terminal is not cleared and the exit status is 1.\n"},
    {"selftest", 0, 0, Needs::kLine, cmdSelftest,
     "usage: mvcomm selftest --device PATH [--loopback]\n"
     "Applies each line setting the terminals need (space and mark parity; 2400, 2450,\n"
     "4937, 10416, 15625 and 2403 baud) to PATH and reports which the device keeps.\n"
     "With --loopback (TX wired to RX) a pattern is also sent and received at each.\n"},
    {"trace-info", 1, 1, Needs::kNothing, cmdTraceInfo,
     "usage: mvcomm trace-info FILE\n"
     "Reads a trace written by --trace FILE and reports what it shows about the\n"
     "terminal where the protocol leaves terminals free: the check at the end of its\n"
     "frames, the shape of its replies, how long it takes to answer, the rates on the\n"
     "line and what the driver read back, and the mvcomm-sim --profile that plays it.\n"},
};

// The command of that name, or null.
const Command* findCommand(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

}  // namespace

// ---- runMvcomm -------------------------------------------------------------

int runMvcomm(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              const Terminals& terminals) {
  Options o;
  auto usageError = [&](const std::string& message) {
    err << "mvcomm: " << message << '\n';
    const Command* c = findCommand(o.command);
    err << (c ? c->help : kUsage);
    return kExitUsage;
  };
  if (auto e = parseOptions(args, o)) return usageError(e->message);

  const Command* command = findCommand(o.command);
  if (o.help) {
    out << (command ? command->help : kUsage);
    return kExitOk;
  }
  if (o.command.empty()) return usageError("no command given");
  if (!command) {
    std::string unknown = o.command;
    o.command.clear();
    return usageError("unknown command " + unknown);
  }
  const int given = static_cast<int>(o.args.size());
  if (given < command->minArgs || given > command->maxArgs)
    return usageError(o.command + ": wrong number of arguments");
  if ((o.simState || !o.simFaults.empty() || !o.simProfiles.empty()) && !o.simulate)
    return usageError("--sim-state, --sim-fault and --sim-profile need --simulate");
  if (o.simulate && o.device) return usageError("--simulate and --device exclude each other");
  if ((o.out || o.clear) && o.command != "collect")
    return usageError("--out and --clear belong to collect");
  if (o.loopback && o.command != "selftest") return usageError("--loopback belongs to selftest");
  if (o.command == "selftest" && (!o.device || o.simulate))
    return usageError("selftest needs --device PATH (a real port)");

  Run run{o, out, err};
  if (command->needs == Needs::kNothing) return command->handler(run);

  // --device or --simulate stand for port 1 unless --port says otherwise.
  const auto commport = static_cast<std::int16_t>(o.port.value_or(o.device || o.simulate ? 1 : 0));
  Environment env;
  if (std::string why = makeEnvironment(o, commport, env); !why.empty()) {
    err << "mvcomm: " << why << '\n';
    return kExitFailed;
  }
  run.env = &env;
  if (command->needs == Needs::kLine) return command->handler(run);

  std::unique_ptr<ProgressReporter> progress;
  if (terminals.stderrIsTerminal && !o.quiet) progress = std::make_unique<ProgressReporter>(err);

  SessionSettings settings;
  settings.commport = commport;
  settings.bautrate = static_cast<std::int16_t>(o.baud);
  if (o.timelapseMs) settings.timelapseMs = *o.timelapseMs;
  std::unique_ptr<TerminalSession> session;
  if (o.viaAutomation) {
    // The object lives in libMVComm.so and reports no progress.
    std::string why;
    session = AutomationSession::create(env.opener, env.clock, settings, why);
    if (!session) {
      err << "mvcomm: " << why << '\n';
      return kExitFailed;
    }
  } else {
    session = std::make_unique<DirectSession>(env.opener, env.clock, settings,
                                              progress ? progress->callback() : ProgressCallback());
  }

  run.session = session.get();
  run.progress = progress.get();
  run.format = o.format.value_or(terminals.stdoutIsTerminal ? Format::kTable : Format::kCsv);
  int rc = kExitOk;
  try {
    rc = command->handler(run);
  } catch (const UsageError& e) {
    return usageError(e.message);
  }
  noteUncheckedFrames(env, err);
  if (env.simulated) {
    std::string why;
    if (!env.simulated->save(why)) {
      err << "mvcomm: simulated state not saved: " << why << '\n';
      return kExitFailed;
    }
  }
  return rc;
}

}  // namespace mvcomm::cli
