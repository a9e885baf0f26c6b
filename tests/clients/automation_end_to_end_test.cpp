// File: tests/clients/automation_end_to_end_test.cpp
//
// The whole chain from a client's side, in real time: registration (in the
// fixture), creation by ProgID, and every method late bound against
// mvcomm-sim over a pseudo-terminal.
#include "tests/clients/automation_fixture.h"

namespace mvcomm {
namespace {

TEST_F(AutomationClient, EveryMethodAgainstTheSimulatorOverAPty) {
  testing::SimProcess sim;
  ASSERT_TRUE(sim.start({"--terminal", "1:new"}));
  ::setenv("MVCOMM_COM1", sim.path().c_str(), 1);
  IDispatch* object = create();
  ASSERT_NE(object, nullptr);
  LateBound comm(object);
  object->Release();
  VARIANT port;
  VariantInit(&port);
  port.vt = VT_I2;
  port.iVal = 1;
  ASSERT_TRUE(comm.put("commport", port).ok());
  port.iVal = 9600;
  ASSERT_TRUE(comm.put("bautrate", port).ok());
  ASSERT_TRUE(comm.put("receivedatatimelapse", number(200)).ok());

  VARIANT clock = day(2026, 3, 15);
  clock.date += 0.5;  // noon
  EXPECT_EQ(run(comm, "setclock", {text("1"), clock}), 0) << sim.log();

  // The table first: a terminal may stay at readdata's rate until the next
  // session's opening, which a table transfer does not send.
  EXPECT_EQ(run(comm, "rtbeginwrite", {number(2)}), 0);
  EXPECT_EQ(run(comm, "rtwriterecord", {number(1), number(101), number(5001)}), 0);
  EXPECT_EQ(run(comm, "rtwriterecord", {number(2), number(102), number(5002)}), 0);
  EXPECT_EQ(run(comm, "writerefertable", {text("1")}), 0) << sim.log();
  EXPECT_EQ(run(comm, "readrefertable", {text("1")}), 0) << sim.log();
  EXPECT_EQ(getLong(comm, "rtrows"), 2);
  EXPECT_EQ(run(comm, "moverecord", {number(2), number(2)}), 0);
  EXPECT_EQ(getLong(comm, "rtemployeeid"), 102);
  EXPECT_EQ(getLong(comm, "rtcardid"), 5002);

  EXPECT_EQ(run(comm, "readdata", {text("1"), day(2026, 3, 9), day(2026, 3, 15)}), 0) << sim.log();
  const std::int32_t rows = getLong(comm, "rsrows");
  EXPECT_GT(rows, 0);
  EXPECT_EQ(run(comm, "moverecord", {number(rows), number(1)}), 0);
  EXPECT_GT(getLong(comm, "rsemployeeid"), 0);
  std::string workclass;
  EXPECT_TRUE(comm.getText("rsworkclass", &workclass).ok());
  EXPECT_EQ(workclass.size(), 1u);
  DATE carded = 0;
  EXPECT_TRUE(comm.getDate("rscardedtime", &carded).ok());
  VARIANT first = day(2026, 3, 9), after = day(2026, 3, 16);
  EXPECT_GE(carded, first.date);
  EXPECT_LT(carded, after.date);

  EXPECT_EQ(run(comm, "cleardata", {text("1")}), 0) << sim.log();
  EXPECT_EQ(getLong(comm, "rsrows"), 0) << "a successful clear empties the record set";
  ::unsetenv("MVCOMM_COM1");
}

}  // namespace
}  // namespace mvcomm
