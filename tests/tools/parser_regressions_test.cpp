// File: tests/tools/parser_regressions_test.cpp
//
// Inputs the fuzz targets of fuzz/tools found mishandled, kept as cases so
// the fixes stay: each row is what the parser must now do with it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/mvcomm/record_text.h"
#include "tools/mvcomm/trace_port.h"

namespace mvcomm::testing {
namespace {

// The trace reader once read "0O" as rate 0 and parity O, took "-1" for
// the rate 4294967295, and took negative times: none of which the writer
// can produce. Each field must now be a whole token in its range.
TEST(TraceParser, FieldsAreWholeTokensInTheirRanges) {
  struct Row {
    const char* text;
    const char* error;   // "" when the line is read
    std::uint32_t baud;  // of the frame read
  };
  const Row rows[] = {
      {"  3 < 0O 0a\n", "line 1: no rate and parity", 0},
      {"  1.000 > 0 S 02\n", "line 1: no rate and parity", 0},
      {"  1.000 > -1 S 02\n", "line 1: no rate and parity", 0},
      {"  1.000 > +2400 S 02\n", "line 1: no rate and parity", 0},
      {"  1.000 > 4000001 S 02\n", "line 1: no rate and parity", 0},
      {"  1.000 > 2400 SS 02\n", "line 1: no rate and parity", 0},
      {"  -1.000 > 2400 S 02\n", "line 1: no time and kind", 0},
      {"1.0> 2400 S 02\n", "line 1: no time and kind", 0},
      {"  1.000 > 2400 S 02A2\n", "line 1: bad byte 02A2", 0},
      {"  1.000 > 2400 S 2\n", "line 1: bad byte 2", 0},
      {"  1.000 > 4000000 S 02\n", "", 4000000},
      {"  1.000 > 1 N\n", "", 1},
      {"  1.000 > 2400 S 02 a2\r\n", "", 2400},   // a CRLF trace reads the same
      {"  1.000 ! read 5 Input/output error\n  2.000 > 2450 M 02 00 01\n", "", 2450},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::vector<cli::TraceFrame> frames;
    std::string error;
    const bool read = cli::parseTrace(r.text, frames, error);
    EXPECT_EQ(read, *r.error == '\0');
    EXPECT_EQ(error, r.error);
    if (read) {
      ASSERT_EQ(frames.size(), 1u);
      EXPECT_EQ(frames[0].settings.baud, r.baud);
    }
  }
}

// A table saved by a spreadsheet starts with a UTF-8 byte order mark,
// which once made its header read as a bad employee number.
TEST(CsvParser, ByteOrderMarkBeforeTheHeaderIsSkipped) {
  std::vector<str_referrecord> table;
  std::string why;
  ASSERT_TRUE(cli::parseTableCsv("\xEF\xBB\xBF" "employeeid,cardid\r\n7,160001\r\n", table, why))
      << why;
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].cardid, 160001);

  std::vector<cli::MachineRecord> records;
  ASSERT_TRUE(cli::parseRecordsCsv("\xEF\xBB\xBF" "1,1001,3,2026-03-15 08:30:00\n", records, why))
      << why;
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].machine, 1);

  // Only at the start of the file.
  table.clear();
  EXPECT_FALSE(cli::parseTableCsv("7,1\n\xEF\xBB\xBF" "8,2\n", table, why));
  EXPECT_EQ(why, "line 2: employeeid must be 0 to 65535");
}

}  // namespace
}  // namespace mvcomm::testing
