// File: tools/mvcomm/record_output.h
//
// How commands print the record set and the reference table on stdout:
// CSV (the default when stdout is not a terminal), JSON, or an aligned table
// for people.
#pragma once

#include <ostream>
#include <vector>

#include "terminal/structures.h"

namespace mvcomm::cli {

enum class Format { kTable, kCsv, kJson };

// CSV: header "employeeid,workclass,cardedtime", times "YYYY-MM-DD HH:MM:SS"
// (empty when the terminal sent no valid time; JSON null).
void printRecords(std::ostream& out, Format format, const std::vector<str_record>& records);
// CSV: header "employeeid,cardid".
void printReferTable(std::ostream& out, Format format, const std::vector<str_referrecord>& rows);

}  // namespace mvcomm::cli
