// File: tools/mvcomm/direct_session.h
//
// TerminalSession on the terminal class itself (`--via direct`).
#pragma once

#include <memory>

#include "terminal/n_cst_mvcomm.h"
#include "tools/mvcomm/terminal_session.h"

namespace mvcomm::cli {

class DirectSession final : public TerminalSession {
 public:
  // `progress` may be empty.
  DirectSession(std::shared_ptr<serial::PortOpener> opener, std::shared_ptr<Clock> clock,
                const SessionSettings& settings, ProgressCallback progress);

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
  n_cst_mvcomm object_;
};

}  // namespace mvcomm::cli
