// File: tools/mvcomm/record_text.cpp
#include "tools/mvcomm/record_text.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace mvcomm::cli {

namespace {

bool digitsAt(std::string_view s, std::size_t pos, std::size_t count, int& value) {
  if (pos + count > s.size()) return false;
  value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = line.find(',', start);
    fields.push_back(trim(line.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

bool parseInt(std::string_view s, std::int64_t min, std::int64_t max, std::int32_t& out) {
  std::int64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || v < min || v > max) return false;
  out = static_cast<std::int32_t>(v);
  return true;
}

bool sameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

// Calls `row(fields, error)` for each non-blank line that is not the header.
template <typename RowFn>
bool forEachLine(std::string_view text, std::string_view header, std::size_t fieldCount,
                 std::string& error, RowFn row) {
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  // Spreadsheets save CSV with a UTF-8 byte order mark before the header.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    std::string_view line = trim(text.substr(pos, nl - pos));
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
    ++lineNo;
    if (line.empty()) continue;
    if (lineNo == 1 && sameText(line, header)) continue;
    auto fields = splitFields(line);
    std::string what;
    if (fields.size() != fieldCount) {
      what = "expected " + std::to_string(fieldCount) + " fields (" + std::string(header) + ")";
    } else {
      row(fields, what);
    }
    if (!what.empty()) {
      error = "line " + std::to_string(lineNo) + ": " + what;
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<Date> parseDate(std::string_view s) {
  Date d;
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return std::nullopt;
  if (!digitsAt(s, 0, 4, d.year) || !digitsAt(s, 5, 2, d.month) || !digitsAt(s, 8, 2, d.day))
    return std::nullopt;
  return d;
}

std::optional<DateTime> parseDateTime(std::string_view s) {
  if (s.size() != 19 || s[10] != ' ' || s[13] != ':' || s[16] != ':') return std::nullopt;
  auto date = parseDate(s.substr(0, 10));
  if (!date) return std::nullopt;
  DateTime t;
  t.date = *date;
  if (!digitsAt(s, 11, 2, t.hour) || !digitsAt(s, 14, 2, t.minute) ||
      !digitsAt(s, 17, 2, t.second))
    return std::nullopt;
  return t;
}

std::string formatTime(const NullableDateTime& time) { return time ? time->toString() : ""; }

std::string MachineRecord::key() const {
  return std::to_string(machine) + "," + std::to_string(record.employeeid) + "," +
         formatTime(record.cardedtime) + "," + record.workclass;
}

bool parseRecordsCsv(std::string_view text, std::vector<MachineRecord>& rows,
                     std::string& error) {
  return forEachLine(text, kRecordsHeader, 4, error, [&](const auto& f, std::string& what) {
    MachineRecord r;
    std::int32_t workclass = 0;
    if (!parseInt(f[0], 0, 65535, r.machine)) {
      what = "machine must be 0 to 65535";
    } else if (!parseInt(f[1], 0, 65535, r.record.employeeid)) {
      what = "employeeid must be 0 to 65535";
    } else if (!parseInt(f[2], 1, 8, workclass)) {
      what = "workclass must be 1 to 8";
    } else if (!f[3].empty() && !(parseDateTime(f[3]) && parseDateTime(f[3])->isValid())) {
      what = "cardedtime must be YYYY-MM-DD HH:MM:SS";
    } else {
      r.record.workclass = std::to_string(workclass);
      if (!f[3].empty()) r.record.cardedtime = parseDateTime(f[3]);
      rows.push_back(std::move(r));
    }
  });
}

bool parseTableCsv(std::string_view text, std::vector<str_referrecord>& rows,
                   std::string& error) {
  return forEachLine(text, kTableHeader, 2, error, [&](const auto& f, std::string& what) {
    str_referrecord r;
    if (!parseInt(f[0], 0, 65535, r.employeeid)) {
      what = "employeeid must be 0 to 65535";
    } else if (!parseInt(f[1], 0, 2147483647, r.cardid)) {
      what = "cardid must be 0 to 2147483647";
    } else {
      rows.push_back(r);
    }
  });
}

bool parseMachineTableCsv(std::string_view text, std::vector<MachineTableRow>& rows,
                          std::string& error) {
  return forEachLine(text, kMachineTableHeader, 3, error, [&](const auto& f, std::string& what) {
    MachineTableRow r;
    if (!parseInt(f[0], 0, 65535, r.machine)) {
      what = "machine must be 0 to 65535";
    } else if (!parseInt(f[1], 0, 65535, r.row.employeeid)) {
      what = "employeeid must be 0 to 65535";
    } else if (!parseInt(f[2], 0, 2147483647, r.row.cardid)) {
      what = "cardid must be 0 to 2147483647";
    } else {
      rows.push_back(r);
    }
  });
}

std::string formatRecordsCsv(const std::vector<MachineRecord>& rows) {
  std::string out(kRecordsHeader);
  out += '\n';
  for (const MachineRecord& r : rows) {
    out += std::to_string(r.machine) + ',' + std::to_string(r.record.employeeid) + ',' +
           r.record.workclass + ',' + formatTime(r.record.cardedtime) + '\n';
  }
  return out;
}

bool readFile(const std::string& path, std::string& text, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::strerror(errno);
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    error = "read error";
    return false;
  }
  text = buffer.str();
  return true;
}

}  // namespace mvcomm::cli
