// File: tools/mvcomm/record_text.h
//
// The text forms of dates, clock-in records and reference-table rows that
// the tools read and write: "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS", and the CSV
// files
//
//   machine,employeeid,workclass,cardedtime   collected records, simulator data
//   employeeid,cardid                         a table to download
//   machine,employeeid,cardid                 simulator tables
//
// Headers are optional on input and always written on output; a UTF-8
// byte order mark at the start of a file is skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/datetime.h"
#include "terminal/structures.h"

namespace mvcomm::cli {

// Exactly "YYYY-MM-DD" / "YYYY-MM-DD HH:MM:SS" digits and separators. The
// fields are not range-checked here: the terminal class judges validity.
std::optional<Date> parseDate(std::string_view text);
std::optional<DateTime> parseDateTime(std::string_view text);
// "" for a null time.
std::string formatTime(const NullableDateTime& time);

// A clock-in record together with the terminal it came from.
struct MachineRecord {
  std::int32_t machine = 0;   // terminal number
  str_record record;

  // Records with equal keys are the same swipe read twice.
  std::string key() const;
  friend bool operator==(const MachineRecord& a, const MachineRecord& b) {
    return a.machine == b.machine && a.record.employeeid == b.record.employeeid &&
           a.record.workclass == b.record.workclass && a.record.cardedtime == b.record.cardedtime;
  }
};

struct MachineTableRow {
  std::int32_t machine = 0;
  str_referrecord row;
};

inline constexpr std::string_view kRecordsHeader = "machine,employeeid,workclass,cardedtime";
inline constexpr std::string_view kTableHeader = "employeeid,cardid";
inline constexpr std::string_view kMachineTableHeader = "machine,employeeid,cardid";

// Parsers return false and set `error` to "line N: what" on the first bad
// line; blank lines are skipped.
bool parseRecordsCsv(std::string_view text, std::vector<MachineRecord>& rows, std::string& error);
bool parseTableCsv(std::string_view text, std::vector<str_referrecord>& rows, std::string& error);
bool parseMachineTableCsv(std::string_view text, std::vector<MachineTableRow>& rows,
                          std::string& error);

std::string formatRecordsCsv(const std::vector<MachineRecord>& rows);

// Whole file as text; false and errno text in `error` when it cannot be read.
bool readFile(const std::string& path, std::string& text, std::string& error);

}  // namespace mvcomm::cli
