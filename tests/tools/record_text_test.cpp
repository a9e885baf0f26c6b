// File: tests/tools/record_text_test.cpp
//
// The CSV files users hand to the tools: what is accepted and what is
// refused with the line that is wrong.
#include <gtest/gtest.h>

#include "tools/mvcomm/record_text.h"

namespace mvcomm::testing {
namespace {

TEST(RecordText, DatesAreExactlyTheDigitsAndSeparators) {
  struct Row {
    const char* text;
    bool parses;
  };
  const Row rows[] = {{"2026-03-15", true},  {"2026-02-30", true},  // validity is the class's call
                      {"2026-3-15", false},  {"2026/03/15", false}, {"20260315", false},
                      {" 2026-03-15", false}, {"2026-03-15x", false}, {"", false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(cli::parseDate(r.text).has_value(), r.parses);
  }
  auto t = cli::parseDateTime("1999-12-31 23:59:59");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->toString(), "1999-12-31 23:59:59");
  EXPECT_FALSE(cli::parseDateTime("1999-12-31T23:59:59"));
  EXPECT_FALSE(cli::parseDateTime("1999-12-31 23:59"));
}

TEST(RecordText, RecordsCsvRoundTripsAndSkipsHeaderAndBlankLines) {
  const std::string text =
      "machine,employeeid,workclass,cardedtime\r\n"
      "1,1001,3,2026-03-15 08:30:00\r\n"
      "\n"
      "2001, 65535 ,8,\n";
  std::vector<cli::MachineRecord> rows;
  std::string why;
  ASSERT_TRUE(cli::parseRecordsCsv(text, rows, why)) << why;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].record.employeeid, 65535);
  EXPECT_FALSE(rows[1].record.cardedtime);   // a record without a valid time
  EXPECT_EQ(cli::formatRecordsCsv(rows),
            "machine,employeeid,workclass,cardedtime\n"
            "1,1001,3,2026-03-15 08:30:00\n"
            "2001,65535,8,\n");
}

TEST(RecordText, BadRowsAreRefusedWithTheirLineNumber) {
  struct Row {
    const char* text;
    const char* error;
  };
  const Row rows[] = {
      {"1,1001,3\n", "line 1: expected 4 fields"},
      {"machine,employeeid,workclass,cardedtime\n70000,1,1,\n", "line 2: machine must be 0 to 65535"},
      {"1,-5,1,\n", "line 1: employeeid must be"},
      {"1,5,9,\n", "line 1: workclass must be 1 to 8"},
      {"1,5,0,\n", "line 1: workclass must be 1 to 8"},
      {"1,5,1,2026-02-30 08:00:00\n", "line 1: cardedtime must be"},
      {"\n\n1,5,1,noon\n", "line 3: cardedtime must be"},
      {"1,5x,1,\n", "line 1: employeeid must be"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::vector<cli::MachineRecord> out;
    std::string why;
    EXPECT_FALSE(cli::parseRecordsCsv(r.text, out, why));
    EXPECT_EQ(why.rfind(r.error, 0), 0u) << why;
  }
}

TEST(RecordText, TableCsvTakesAnOptionalHeaderAndBoundsEachColumn) {
  std::vector<str_referrecord> rows;
  std::string why;
  ASSERT_TRUE(cli::parseTableCsv("EmployeeID,CardID\n7,16909060\n258,5\n", rows, why)) << why;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].cardid, 16909060);
  rows.clear();
  EXPECT_TRUE(cli::parseTableCsv("7,2147483647\n", rows, why));
  EXPECT_FALSE(cli::parseTableCsv("7,2147483648\n", rows, why));
  EXPECT_FALSE(cli::parseTableCsv("65536,1\n", rows, why));
  std::vector<cli::MachineTableRow> machineRows;
  ASSERT_TRUE(cli::parseMachineTableCsv("machine,employeeid,cardid\n2001,7,9\n", machineRows, why));
  EXPECT_EQ(machineRows[0].machine, 2001);
}

}  // namespace
}  // namespace mvcomm::testing
