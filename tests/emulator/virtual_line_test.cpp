// File: tests/emulator/virtual_line_test.cpp
//
// The virtual line itself: virtual time, wire time, garbling at the wrong
// rate, the frame log, DTR, purges, opening and a vanishing device.
#include <gtest/gtest.h>

#include <cerrno>

#include "emulator/emulator.h"
#include "emulator/virtual_line.h"
#include "tests/emulator/raw_host.h"

namespace mvcomm::emulator {
namespace {

using testing::Bytes;
using testing::RawHost;
using testing::withCrc;
using namespace std::chrono_literals;

TEST(VirtualLine, LongTimeOutsCostNoRealTime) {
  Emulator em;
  VirtualLine line(em);
  RawHost host(line);
  const auto before = std::chrono::steady_clock::now();
  const auto start = line.now();
  EXPECT_TRUE(host.receive(800ms, 5000ms).empty());
  EXPECT_EQ(5000ms, line.now() - start);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
}

TEST(VirtualLine, ByteTimeIsElevenBitsAtTheRate) {
  struct Case { std::uint32_t baud; std::int64_t ns; };
  for (const Case c : {Case{2400, 4583333}, Case{2450, 4489795}, Case{15625, 704000}}) {
    SCOPED_TRACE(c.baud);
    EXPECT_EQ(c.ns, byteTime(c.baud).count());
  }
}

TEST(VirtualLine, LogsFramesWithTheirSettingsAndDtr) {
  Emulator em;
  VirtualLine line(em);
  RawHost host(line);
  host.send({0x02, 0x00, 0x01}, Parity::kMark, 2450);
  host.send({0x06, 0x06}, Parity::kSpace, 2450);
  host.send({0x15}, Parity::kSpace, 2450);  // same settings, but a new send
  ASSERT_EQ(3u, line.hostFrames().size());
  const HostFrame& a = line.hostFrames()[0];
  EXPECT_EQ("02 00 01", hex(a.bytes));
  EXPECT_EQ(Parity::kMark, a.settings.parity);
  EXPECT_EQ(2450u, a.settings.baud);
  EXPECT_FALSE(a.dtr);
  EXPECT_EQ(byteTime(2450) * 3, a.end - a.start);
  EXPECT_EQ(Parity::kSpace, line.hostFrames()[1].settings.parity);
  // A settings change waits for the previous bytes to leave the line.
  EXPECT_EQ(a.end, line.hostFrames()[1].start);
  host.receive(10ms, 10ms);
  ASSERT_FALSE(line.dtrChanges().empty());
  EXPECT_TRUE(line.dtrChanges().back().on);
}

TEST(VirtualLine, BytesAtAnotherRateArriveGarbled) {
  Emulator em;
  em.addTerminal(1);
  VirtualLine line(em);
  RawHost host(line);
  host.connect(1);
  host.send(withCrc({0x02, 0xAC, 0x53, 0xFC}), Parity::kSpace, 2450);
  const Bytes atWrongRate = host.receive(800ms, 5000ms, 10416);
  ASSERT_EQ(5u, atWrongRate.size());
  for (auto b : atWrongRate) EXPECT_EQ(garble(0x06), b);
  EXPECT_NE(0x06, garble(0x06));
  EXPECT_TRUE(line.arrivals().back().garbled);
}

TEST(VirtualLine, ReceivePurgeDropsOnlyWhatHasArrived) {
  Emulator em;
  em.addTerminal(1).setTurnaround(50ms);
  VirtualLine line(em);
  RawHost host(line);
  host.send(withCrc({0x02, 0xA2, 0x5D}), Parity::kSpace, 2400);
  host.send({0x02, 0x00, 0x01}, Parity::kMark, 2450);
  host.send(testing::confirmation(1), Parity::kSpace, 2450);
  serial::SerialPort& port = host.port();
  ASSERT_EQ(0, port.purge(serial::kPurgeTxClear));       // the confirmation is out
  line.runUntil(line.now() + 50ms + byteTime(2450) * 10); // ten reply bytes have arrived
  ASSERT_EQ(0, port.purge(serial::kPurgeRxClear));
  std::size_t got = 0;
  std::uint8_t buf[200];
  line.runUntil(line.now() + 2s);
  ASSERT_EQ(0, port.read(buf, sizeof buf, got));
  EXPECT_EQ(101u, got);
}

TEST(VirtualLine, OpenErrorsAndClosedPorts) {
  Emulator em;
  VirtualLine line(em, "COM3");
  std::unique_ptr<serial::SerialPort> port;
  EXPECT_EQ(ENOENT, line.opener().open("COM1", port));
  line.failNextOpen(EACCES);
  EXPECT_EQ(EACCES, line.opener().open("COM3", port));
  ASSERT_EQ(0, line.opener().open("COM3", port));
  std::unique_ptr<serial::SerialPort> second;
  EXPECT_EQ(EBUSY, line.opener().open("COM3", second));
  EXPECT_TRUE(line.portOpen());
  EXPECT_EQ(0, port->close());
  EXPECT_FALSE(line.portOpen());
  EXPECT_EQ(EBADF, port->writeByte(0));
  std::size_t got = 0;
  std::uint8_t b;
  EXPECT_EQ(EBADF, port->read(&b, 1, got));
  EXPECT_EQ(EBADF, port->close());
  ASSERT_EQ(0, line.opener().open("COM3", second));
  port.reset();  // a stale port's destructor does not close the new one
  EXPECT_TRUE(line.portOpen());
  EXPECT_EQ(2, line.opens());
}

TEST(VirtualLine, VanishedDeviceFailsWithIoErrors) {
  Emulator em;
  em.addTerminal(1).inject(testing::makeFault(FaultKind::kVanish, Command::kConnect, 40));
  VirtualLine line(em);
  RawHost host(line);
  host.send(withCrc({0x02, 0xA2, 0x5D}), Parity::kSpace, 2400);
  host.send({0x02, 0x00, 0x01}, Parity::kMark, 2450);
  host.send(testing::confirmation(1), Parity::kSpace, 2450);
  serial::SerialPort& port = host.port();
  ASSERT_EQ(0, port.purge(serial::kPurgeTxClear));
  ASSERT_EQ(0, port.setDtr(true));
  std::uint8_t buf[512];
  std::size_t total = 0;
  int error = 0;
  for (int i = 0; i < 200 && error == 0; ++i) {
    bool readable = false;
    ASSERT_EQ(0, port.waitReadable(line.now() + 1s, readable));
    ASSERT_TRUE(readable);
    std::size_t got = 0;
    error = port.read(buf, sizeof buf, got);
    total += got;
  }
  EXPECT_EQ(EIO, error);
  EXPECT_EQ(40u, total);
  EXPECT_EQ(EIO, port.writeByte(0));
  EXPECT_EQ(EIO, port.purge(serial::kPurgeRxClear));
  port.close();
  std::unique_ptr<serial::SerialPort> again;
  EXPECT_EQ(ENOENT, line.opener().open("COM1", again));
  line.restore();
  EXPECT_EQ(0, line.opener().open("COM1", again));
}

}  // namespace
}  // namespace mvcomm::emulator
