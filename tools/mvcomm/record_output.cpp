// File: tools/mvcomm/record_output.cpp
#include "tools/mvcomm/record_output.h"

#include <algorithm>
#include <string>

#include "tools/mvcomm/record_text.h"

namespace mvcomm::cli {

namespace {

// Columns right-aligned when numeric, left otherwise, two spaces apart.
void printAligned(std::ostream& out, const std::vector<std::string>& header,
                  const std::vector<std::vector<std::string>>& rows,
                  const std::vector<bool>& numeric) {
  std::vector<std::size_t> width(header.size());
  for (std::size_t c = 0; c < header.size(); ++c) width[c] = header[c].size();
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      if (c > 0) text += "  ";
      std::string pad(width[c] - cells[c].size(), ' ');
      text += numeric[c] ? pad + cells[c] : cells[c] + pad;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  };
  line(header);
  for (const auto& row : rows) line(row);
  out << rows.size() << (rows.size() == 1 ? " row\n" : " rows\n");
}

std::string jsonTime(const NullableDateTime& t) {
  return t ? "\"" + t->toString() + "\"" : "null";
}

// Work classes are the class's text "1".."8"; anything else is escaped.
std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      static const char* kHex = "0123456789abcdef";
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace

void printRecords(std::ostream& out, Format format, const std::vector<str_record>& records) {
  switch (format) {
    case Format::kCsv:
      out << "employeeid,workclass,cardedtime\n";
      for (const auto& r : records)
        out << r.employeeid << ',' << r.workclass << ',' << formatTime(r.cardedtime) << '\n';
      break;
    case Format::kJson:
      out << '[';
      for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        out << (i ? ",\n " : "\n ") << "{\"employeeid\": " << r.employeeid
            << ", \"workclass\": " << jsonString(r.workclass)
            << ", \"cardedtime\": " << jsonTime(r.cardedtime) << '}';
      }
      out << (records.empty() ? "]\n" : "\n]\n");
      break;
    case Format::kTable: {
      std::vector<std::vector<std::string>> rows;
      for (const auto& r : records)
        rows.push_back({std::to_string(r.employeeid), r.workclass, formatTime(r.cardedtime)});
      printAligned(out, {"employeeid", "workclass", "cardedtime"}, rows, {true, false, false});
      break;
    }
  }
}

void printReferTable(std::ostream& out, Format format, const std::vector<str_referrecord>& rows) {
  switch (format) {
    case Format::kCsv:
      out << "employeeid,cardid\n";
      for (const auto& r : rows) out << r.employeeid << ',' << r.cardid << '\n';
      break;
    case Format::kJson:
      out << '[';
      for (std::size_t i = 0; i < rows.size(); ++i)
        out << (i ? ",\n " : "\n ") << "{\"employeeid\": " << rows[i].employeeid
            << ", \"cardid\": " << rows[i].cardid << '}';
      out << (rows.empty() ? "]\n" : "\n]\n");
      break;
    case Format::kTable: {
      std::vector<std::vector<std::string>> cells;
      for (const auto& r : rows) cells.push_back({std::to_string(r.employeeid), std::to_string(r.cardid)});
      printAligned(out, {"employeeid", "cardid"}, cells, {true, true});
      break;
    }
  }
}

}  // namespace mvcomm::cli
