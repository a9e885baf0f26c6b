// File: tools/mvcomm/automation_session.h
//
// TerminalSession through the automation object (`--via automation`): the
// object is created with CoCreateInstance("MVComm.MVComm") and every
// property and method is reached late bound, by name, through IDispatch.
#pragma once

#include <memory>
#include <string>

#include "terminal/n_cst_mvcomm.h"
#include "tools/mvcomm-dispatch/late_bound.h"
#include "tools/mvcomm/terminal_session.h"

namespace mvcomm::cli {

class AutomationSession final : public TerminalSession {
 public:
  // Registers the module first when "MVComm.MVComm" is not registered (or
  // its registered file is gone), then creates the object with the line and
  // clock of `opener` and `clock` (the terminal class's default environment
  // while the session lives) and sets the port properties. Null with the
  // reason in `error` when any step fails.
  static std::unique_ptr<AutomationSession> create(std::shared_ptr<serial::PortOpener> opener,
                                                   std::shared_ptr<Clock> clock,
                                                   const SessionSettings& settings,
                                                   std::string& error);
  ~AutomationSession() override;

  void setclock(const std::string& machine, const DateTime& clock) override;
  void readdata(const std::string& machine, const Date& from, const Date& to) override;
  void cleardata(const std::string& machine) override;
  void readrefertable(const std::string& machine) override;
  void writerefertable(const std::string& machine,
                       const std::vector<str_referrecord>& rows) override;
  Outcome outcome() override;
  std::vector<str_record> records() override;
  std::vector<str_referrecord> refertable() override;

 private:
  AutomationSession(IDispatch* object, n_cst_mvcomm::Environment previous);
  // Runs a method and keeps the outcome it reported.
  void run(const char* name, std::span<const VARIANT> args);
  void noteOutcome();

  dispatch::LateBound object_;
  n_cst_mvcomm::Environment previous_;  // restored on destruction
  Outcome outcome_;
};

// The libMVComm.so that belongs to this program: beside the executable, or
// in the build tree's or install tree's library folder. Empty when none is found.
std::string findOwnModule();

// Registers `module` (DllRegisterServer) unless "MVComm.MVComm" is
// registered to a file that exists. Empty on success, else the reason.
std::string ensureRegistered(const std::string& module);

}  // namespace mvcomm::cli
