// File: tools/mvcomm/terminal_session.h
//
// The terminal operations and property reads the commands need, behind one
// small interface, so that the same commands can run on the terminal class
// directly or through another binding of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "terminal/datetime.h"
#include "terminal/structures.h"

namespace mvcomm::cli {

// The outcome of the last operation: `errorcode` and `errormessage`.
struct Outcome {
  std::int32_t code = 0;   // 0, 20000 + the class's code, or errno
  std::string message;     // empty on success
  bool ok() const { return code == 0; }
};

// Port settings applied before every operation.
struct SessionSettings {
  std::int16_t commport = 0;        // COMn
  std::int16_t bautrate = 9600;     // nominal rate readdata switches to
  std::int32_t timelapseMs = 800;   // receivedatatimelapse
};

class TerminalSession {
 public:
  virtual ~TerminalSession() = default;

  // Each operation runs one method of the class; outcome() tells how it went.
  virtual void setclock(const std::string& machine, const DateTime& clock) = 0;
  virtual void readdata(const std::string& machine, const Date& from, const Date& to) = 0;
  virtual void cleardata(const std::string& machine) = 0;
  virtual void readrefertable(const std::string& machine) = 0;
  // Builds the table in memory from `rows` (rtbeginwrite, rtwriterecord per
  // row) and downloads it; stops at the first step that fails.
  virtual void writerefertable(const std::string& machine,
                               const std::vector<str_referrecord>& rows) = 0;

  virtual Outcome outcome() = 0;
  // The record set and the reference table as they stand now.
  virtual std::vector<str_record> records() = 0;
  virtual std::vector<str_referrecord> refertable() = 0;
};

}  // namespace mvcomm::cli
