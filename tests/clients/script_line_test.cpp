// File: tests/clients/script_line_test.cpp
//
// The dispatch script's line grammar and value formatting.
#include <gtest/gtest.h>

#include "platform/ole/ole_testing.h"
#include "platform/ole/oleauto.h"
#include "tools/mvcomm-dispatch/hresult_name.h"
#include "tools/mvcomm-dispatch/script_line.h"

namespace mvcomm::dispatch {
namespace {

using Kind = Statement::Kind;
using LKind = Literal::Kind;

TEST(ScriptLine, StatementsOfEveryKind) {
  struct Case {
    const char* line;
    Kind kind;
    const char* name;
    size_t args;
  };
  const Case cases[] = {
      {"commport = 1", Kind::kPut, "commport", 1},
      {"  bautrate=9600  ", Kind::kPut, "bautrate", 1},
      {"readdata \"5\", #2002-10-27#, #2002-10-28#", Kind::kCall, "readdata", 3},
      {"readdata(\"5\", #2002-10-27#, #2002-10-28 08:30#)", Kind::kCall, "readdata", 3},
      {"moverecord 1, 1", Kind::kCall, "moverecord", 2},
      {"cleardata", Kind::kCall, "cleardata", 0},
      {"cleardata()", Kind::kCall, "cleardata", 0},
      {"? errorcode", Kind::kPrintName, "errorcode", 0},
      {"?rsrows", Kind::kPrintName, "rsrows", 0},
      {"? \"text\"", Kind::kPrintLiteral, "", 1},
      {"? True", Kind::kPrintLiteral, "", 1},
      {"' a comment", Kind::kNothing, "", 0},
      {"rem another", Kind::kNothing, "", 0},
      {"   ", Kind::kNothing, "", 0},
      {"", Kind::kNothing, "", 0},
      {"remark = 2", Kind::kPut, "remark", 1},  // a name that starts like rem
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Statement st;
    ASSERT_EQ(parseLine(c.line, &st), "");
    EXPECT_EQ(st.kind, c.kind);
    EXPECT_EQ(st.name, c.name);
    EXPECT_EQ(st.args.size(), c.args);
  }
}

TEST(ScriptLine, LiteralsKeepTheirTypeAndValue) {
  Statement st;
  ASSERT_EQ(parseLine("f \"say \"\"hi\"\"\", -12, 2.5, 1e3, false, #2002-10-27 13:45:10#, 3000000000", &st), "");
  ASSERT_EQ(st.args.size(), 7u);
  EXPECT_EQ(st.args[0].kind, LKind::kText);
  EXPECT_EQ(st.args[0].text, "say \"hi\"");
  EXPECT_EQ(st.args[1].kind, LKind::kInteger);
  EXPECT_EQ(st.args[1].integer, -12);
  EXPECT_EQ(st.args[2].kind, LKind::kReal);
  EXPECT_DOUBLE_EQ(st.args[2].real, 2.5);
  EXPECT_EQ(st.args[3].kind, LKind::kReal);
  EXPECT_DOUBLE_EQ(st.args[3].real, 1000.0);
  EXPECT_EQ(st.args[4].kind, LKind::kBool);
  EXPECT_FALSE(st.args[4].flag);
  EXPECT_EQ(st.args[5].kind, LKind::kDate);
  // 2002-10-27 is day 37556; 13:45:10 is 49510 s into it.
  EXPECT_NEAR(st.args[5].real, 37556 + 49510.0 / 86400, 1e-9);

  // Whole numbers past 32 bits travel as doubles rather than wrapping.
  VARIANT v;
  ASSERT_EQ(toVariant(st.args[6], &v), S_OK);
  EXPECT_EQ(v.vt, VT_R8);
  EXPECT_DOUBLE_EQ(v.dblVal, 3000000000.0);
  ASSERT_EQ(toVariant(st.args[1], &v), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, -12);
}

TEST(ScriptLine, MalformedLinesAreRefusedAndLeaveTheStatement) {
  const char* const lines[] = {
      "commport =",
      "commport = 1 2",
      "readdata \"5\" #2002-10-27#",
      "readdata(\"5\"",
      "readdata \"5",
      "setclock \"1\", #2002-02-30#",   // no such day
      "setclock \"1\", #2002-10-27 24:00#",
      "setclock \"1\", #2002-10-27 12#",
      "setclock \"1\", #27/10/2002#",
      "setclock \"1\", #2002-10-27",
      "moverecord 1,",
      "moverecord 1x",
      "moverecord errorcode",  // names are not values
      "? errorcode extra",
      "= 3",
      "1 = 3",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    Statement st;
    st.name = "untouched";
    EXPECT_NE(parseLine(line, &st), "");
    EXPECT_EQ(st.name, "untouched");
  }
}

// The calendar itself is tested with platform/civil_date.h; here the
// automation DATE's years (100 to 9999) and one day the calendar refuses.
TEST(ScriptLine, DatesKeepTheAutomationYearsAndTheCalendar) {
  constexpr struct {
    const char* line;
    bool ok;
  } kCases[] = {{"f #0100-01-01#", true},  {"f #0099-12-31#", false}, {"f #9999-12-31#", true},
                {"f #2000-02-29#", true},  {"f #1900-02-29#", false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.line);
    Statement st;
    const std::string error = parseLine(c.line, &st);
    EXPECT_EQ(error.empty(), c.ok) << error;
    if (!c.ok) {
      EXPECT_NE(error.find("bad date #"), std::string::npos) << error;
    }
  }
}

TEST(ScriptLine, FormatsValuesAsTheClientPrintsThem) {
  const auto before = ole::LiveCounts::now();
  {
    Statement st;
    ASSERT_EQ(parseLine("f \"héllo\", #2002-10-27 08:05:09#, true", &st), "");
    VARIANT text, date, flag;
    ASSERT_EQ(toVariant(st.args[0], &text), S_OK);
    ASSERT_EQ(toVariant(st.args[1], &date), S_OK);
    ASSERT_EQ(toVariant(st.args[2], &flag), S_OK);
    EXPECT_EQ(formatVariant(text), "héllo");
    EXPECT_EQ(formatVariant(date), "2002-10-27 08:05:09");
    EXPECT_EQ(formatVariant(flag), "True");
    VariantClear(&text);
    VARIANT small;
    VariantInit(&small);
    EXPECT_EQ(formatVariant(small), "");
    small.vt = VT_I2;
    small.iVal = -3;
    EXPECT_EQ(formatVariant(small), "-3");
  }
  EXPECT_EQ(ole::LiveCounts::now(), before);
}

TEST(HresultName, NamesAndHex) {
  EXPECT_EQ(describeHresult(DISP_E_MEMBERNOTFOUND), "0x80020003 DISP_E_MEMBERNOTFOUND");
  EXPECT_EQ(describeHresult(REGDB_E_CLASSNOTREG), "0x80040154 REGDB_E_CLASSNOTREG");
  EXPECT_EQ(describeHresult(static_cast<HRESULT>(0x80041234)), "0x80041234");
}

}  // namespace
}  // namespace mvcomm::dispatch
