// File: tests/terminal/frames_test.cpp
//
// The bytes the host puts on the line: CRC, every frame layout, rates and
// codes, the wire record, and the class's of_buildcrc over the frame CRC.
#include <gtest/gtest.h>

#include <memory>

#include "testing/fake_line.h"
#include "testing/terminal_probe.h"
#include "terminal/frames.h"

namespace mvcomm::terminal {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Crc16, CheckValueAndBitwiseDefinition) {
  const std::string text = "123456789";
  EXPECT_EQ(crc16({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}), 0xBB3D);
  EXPECT_EQ(crc16({}), 0x0000);
  // Every length 0..40 against the plain bit-by-bit definition (the fast
  // path takes eight bytes at a time).
  std::vector<std::uint8_t> bytes;
  for (int n = 0; n <= 40; ++n) {
    std::uint16_t want = 0;
    for (std::uint8_t b : bytes) {
      want ^= b;
      for (int bit = 0; bit < 8; ++bit) want = (want & 1) ? static_cast<std::uint16_t>((want >> 1) ^ 0xA001) : want >> 1;
    }
    EXPECT_EQ(crc16(bytes), want) << n;
    bytes.push_back(static_cast<std::uint8_t>(n * 37 + 11));
  }
}

TEST(HostFrames, MatchTheDocumentedBytes) {
  struct Case {
    const char* name;
    Frame frame;
    Bytes expected;
  };
  const Case cases[] = {
      {"command A2", commandA2Frame(), {0x02, 0xA2, 0x5D, 0x19, 0x59}},
      {"set clock 2002-10-27 14:30:45", setClockFrame({{2002, 10, 27}, 14, 30, 45}),
       {0x02, 0xA1, 0x5E, 0x66, 0x0A, 0x1B, 0x0E, 0x1E, 0x03, 0xD2, 0x50}},
      {"clear records", clearRecordsFrame(), {0x02, 0xA6, 0x59, 0x59, 0x59, 0x59, 0x59, 0x03, 0xEF, 0xC9}},
      {"address 258", addressFrame(258), {0x02, 0x01, 0x02}},
      {"address 0", addressFrame(0), {0x02, 0x00, 0x00}},
      {"table address 258", tableAddressFrame(258), {0x01, 0x02, 0x00}},
      {"table address 0", tableAddressFrame(0), {0x00, 0x00, 0x00}},
      {"table open", tableOpenFrame(), {0xB0, 0x00}},
      {"ack", ackFrame(), {6, 6, 6, 6, 6}},
      {"reject", rejectFrame(), {0x15, 0x15, 0x15, 0x15, 0x15}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.frame, c.expected);
  }
}

TEST(HostFrames, SetClockFieldsAndZeroBytes) {
  Frame f = setClockFrame({{1999, 12, 31}, 23, 59, 59});
  ASSERT_EQ(f.size(), 11u);
  EXPECT_EQ(Bytes(f.begin() + 3, f.begin() + 8), (Bytes{0x63, 0x0C, 0x1F, 0x17, 0x3B}));
  // Year 1900 and midnight are zero bytes that must not shorten the frame.
  Frame zero = setClockFrame({{1900, 1, 1}, 0, 0, 0});
  ASSERT_EQ(zero.size(), 11u);
  EXPECT_EQ(Bytes(zero.begin() + 3, zero.begin() + 8), (Bytes{0x00, 0x01, 0x01, 0x00, 0x00}));
  EXPECT_EQ(crc16({zero.data(), 9}), zero[9] | zero[10] << 8);
}

TEST(HostFrames, AddressConfirmationCarriesComplementAndFiller) {
  for (std::uint16_t machine : {std::uint16_t{258}, std::uint16_t{0}, std::uint16_t{65535}}) {
    SCOPED_TRACE(machine);
    Frame f = addressConfirmationFrame(machine);
    ASSERT_EQ(f.size(), kAddressConfirmationSize);
    std::uint16_t c = static_cast<std::uint16_t>(65535 - machine);
    EXPECT_EQ(f[0], c >> 8);
    EXPECT_EQ(f[1], c & 0xFF);
    for (int g = 0; g < 20; ++g) {
      EXPECT_EQ(Bytes(f.begin() + 2 + 5 * g, f.begin() + 7 + 5 * g), (Bytes{0x0A, 0x05, 0xA5, 0x5A, 0xFF}));
    }
    EXPECT_EQ(f[102], kEtx);
    EXPECT_EQ(crc16({f.data(), 103}), f[103] | f[104] << 8);
  }
  Frame f258 = addressConfirmationFrame(258);
  EXPECT_EQ(f258[0], 0xFE);
  EXPECT_EQ(f258[1], 0xFD);
}

TEST(HostFrames, BaudCodesAndActualRates) {
  struct Case {
    std::int32_t nominal;
    std::uint8_t code;
    std::uint32_t actual;
  };
  constexpr Case cases[] = {{0, 0xEF, 2400},      {2400, 0xEF, 2450},   {4800, 0xF7, 4937},
                            {9600, 0xFC, 10416},  {14400, 0xFD, 15625}, {19200, 0xEF, 2403},
                            {-5, 0xEF, 2403}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nominal);
    EXPECT_EQ(baudCode(c.nominal), c.code);
    EXPECT_EQ(actualBaud(c.nominal), c.actual);
    Frame f = baudChangeFrame(c.nominal);
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 4), (Bytes{0x02, 0xAC, 0x53, c.code}));
  }
}

TEST(HostFrames, ReadRecordsCommandByModel) {
  Frame fresh = readRecordsFrame(true, {2002, 10, 1}, {2002, 10, 27});
  Frame old = readRecordsFrame(false, {2002, 10, 1}, {2002, 10, 27});
  Bytes body{0x66, 0x0A, 0x01, 0x20, 0x66, 0x0A, 0x1B, 0x03};
  ASSERT_EQ(fresh.size(), 13u);
  ASSERT_EQ(old.size(), 13u);
  EXPECT_EQ(Bytes(fresh.begin(), fresh.begin() + 3), (Bytes{0x02, 0xBE, 0x55}));
  EXPECT_EQ(Bytes(old.begin(), old.begin() + 3), (Bytes{0x02, 0xAA, 0x55}));
  EXPECT_EQ(Bytes(fresh.begin() + 3, fresh.begin() + 11), body);
  EXPECT_EQ(Bytes(old.begin() + 3, old.begin() + 11), body);
}

TEST(HostFrames, BlockFramesNumberBlocksFromOne) {
  Frame read1 = readBlockFrame(1);
  EXPECT_EQ(Bytes(read1.begin(), read1.begin() + 6), (Bytes{0x02, 0xBC, 0x7C, 0x00, 0x7C, 0x01}));
  EXPECT_EQ(read1.size(), 8u);
  Frame readLast = readBlockFrame(kMaxBlocks);
  EXPECT_EQ(Bytes(readLast.begin() + 2, readLast.begin() + 6), (Bytes{0x80, 0x43, 0x80, 0x44}));
  Bytes data(16);
  for (int i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(0xF0 + i);
  Frame write = writeBlockFrame(2, data);
  ASSERT_EQ(write.size(), 24u);
  EXPECT_EQ(Bytes(write.begin(), write.begin() + 6), (Bytes{0x02, 0xBD, 0x7C, 0x01, 0x7C, 0x02}));
  EXPECT_EQ(Bytes(write.begin() + 6, write.begin() + 22), data);
  EXPECT_EQ(crc16({write.data(), 22}), write[22] | write[23] << 8);
}

TEST(ModelRule, NumbersAtTheBoundaries) {
  struct Case {
    std::int32_t machine;
    bool isNew;
  };
  constexpr Case cases[] = {{0, true},     {2000, true},      {2001, false}, {2002, true},
                            {10000, true}, {10001, false},    {65535, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.machine);
    EXPECT_EQ(isNewModel(c.machine), c.isNew);
  }
}

TEST(WireRecord, DecodesTheDocumentedBitsAndRoundTrips) {
  const Bytes bytes{0x01, 0x02, 0x4E, 0x9E};
  WireRecord r = decodeRecord(bytes);
  EXPECT_EQ(r.employeeid, 258);
  EXPECT_EQ(r.workclass, 3);
  EXPECT_EQ(r.hour, 14);
  EXPECT_EQ(r.minute, 30);  // the top two bits of byte 4 are ignored
  for (int wc = 1; wc <= 8; ++wc) {
    WireRecord w{65535, static_cast<std::uint8_t>(wc), 31, 63};
    auto enc = encodeRecord(w);
    WireRecord back = decodeRecord(enc);
    EXPECT_EQ(back.workclass, wc);
    EXPECT_EQ(back.hour, 31);
    EXPECT_EQ(back.minute, 63);
    EXPECT_EQ(back.employeeid, 65535);
  }
}

TEST(ClassCrc, AgreesWithTheFrameHelperAndRefusesEmptyInput) {
  auto clock = std::make_shared<testing::FakeClock>();
  auto line = std::make_shared<testing::FakeLine>(clock);
  n_cst_mvcomm o(std::make_shared<testing::FakeOpener>(line), clock);
  using P = n_cst_mvcomm_probe;

  Bytes buffer{0x02, 0xA2, 0x5D};
  std::int32_t size = 3;
  ASSERT_TRUE(P::buildcrc(o, buffer, size));
  EXPECT_EQ(size, 5);
  EXPECT_EQ(buffer, commandA2Frame());
  // In a larger buffer the CRC follows the counted bytes; the rest stays.
  Bytes larger{0x02, 0xA2, 0x5D, 0xEE, 0xEE, 0x77};
  size = 3;
  ASSERT_TRUE(P::buildcrc(o, larger, size));
  EXPECT_EQ(size, 5);
  Bytes want = commandA2Frame();
  want.push_back(0x77);
  EXPECT_EQ(larger, want);

  Bytes untouched{1, 2, 3};
  std::int32_t zero = 0;
  EXPECT_FALSE(P::buildcrc(o, untouched, zero));
  EXPECT_EQ(o.errorcode, 20008);
  EXPECT_EQ(o.errormessage, "Failed build CRC!");
  EXPECT_EQ(untouched, (Bytes{1, 2, 3}));
  EXPECT_EQ(zero, 0);
  Bytes empty;
  std::int32_t three = 3;
  EXPECT_FALSE(P::buildcrc(o, empty, three));

  EXPECT_EQ(P::xorChars(o, 0xA5, 0xFF), 0x5A);
  EXPECT_EQ(P::inverse(o, 258), 0xFEFD);
  EXPECT_EQ(P::inverse(o, 0), 0xFFFF);
}

}  // namespace
}  // namespace mvcomm::terminal
