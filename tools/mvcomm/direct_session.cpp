// File: tools/mvcomm/direct_session.cpp
#include "tools/mvcomm/direct_session.h"

#include <algorithm>

namespace mvcomm::cli {

DirectSession::DirectSession(std::shared_ptr<serial::PortOpener> opener,
                             std::shared_ptr<Clock> clock, const SessionSettings& settings,
                             ProgressCallback progress)
    : object_(std::move(opener), std::move(clock)) {
  object_.commport = settings.commport;
  object_.bautrate = settings.bautrate;
  object_.receivedatatimelapse = settings.timelapseMs;
  if (progress) object_.setProgress(std::move(progress));
}

void DirectSession::setclock(const std::string& machine, const DateTime& clock) {
  object_.setclock(machine, clock);
}

void DirectSession::readdata(const std::string& machine, const Date& from, const Date& to) {
  object_.readdata(machine, from, to);
}

void DirectSession::cleardata(const std::string& machine) { object_.cleardata(machine); }

void DirectSession::readrefertable(const std::string& machine) {
  object_.readrefertable(machine);
}

void DirectSession::writerefertable(const std::string& machine,
                                    const std::vector<str_referrecord>& rows) {
  // No rows: the download itself reports the empty table.
  if (rows.empty()) return object_.writerefertable(machine);
  object_.rtbeginwrite(static_cast<std::int32_t>(rows.size()));
  if (object_.errorcode != 0) return;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    object_.rtwriterecord(static_cast<std::int32_t>(i + 1), rows[i].employeeid, rows[i].cardid);
    if (object_.errorcode != 0) return;
  }
  object_.writerefertable(machine);
}

Outcome DirectSession::outcome() { return Outcome{object_.errorcode, object_.errormessage}; }

namespace {

// The first `rows` entries; the row count is trusted only as far as the set goes.
template <typename Row>
std::vector<Row> firstRows(const std::vector<Row>& all, std::int32_t rows) {
  const std::size_t n = rows <= 0 ? 0 : std::min(all.size(), static_cast<std::size_t>(rows));
  return std::vector<Row>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace

std::vector<str_record> DirectSession::records() {
  return firstRows(object_.records(), object_.rsrows);
}

std::vector<str_referrecord> DirectSession::refertable() {
  return firstRows(object_.refertable(), object_.rtrows);
}

}  // namespace mvcomm::cli
