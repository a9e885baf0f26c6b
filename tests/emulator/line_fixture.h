// File: tests/emulator/line_fixture.h
//
// n_cst_mvcomm on the virtual line against the emulator, in virtual time.
// The fixture builds the object on port COM1 with bautrate 9600, and offers
// the host-frame log in a form that reads like the protocol tables.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "emulator/virtual_line.h"
#include "emulator/wire.h"
#include "platform/serial/mode_string.h"
#include "terminal/n_cst_mvcomm.h"

namespace mvcomm::emulator::testing {

using namespace std::chrono_literals;

// One expected host frame: bytes as hex, the parity letter (M or S) and the
// rate set on the port.
struct WantFrame {
  std::string bytes;
  char parity;
  std::uint32_t baud;
};

inline std::string describe(const HostFrame& f) {
  return hex(f.bytes) + " " + serial::parityLetter(f.settings.parity) + " " +
         std::to_string(f.settings.baud);
}

inline std::string describe(const WantFrame& f) {
  return f.bytes + " " + f.parity + " " + std::to_string(f.baud);
}

inline std::string crcHex(std::vector<std::uint8_t> bytes) {
  wire::appendCrc(bytes);
  return hex(bytes);
}

// The 105-byte address confirmation for terminal n, as hex.
inline std::string confirmationHex(std::uint16_t n) {
  const auto c = static_cast<std::uint16_t>(~n);
  std::vector<std::uint8_t> f = {wire::hi(c), wire::lo(c)};
  for (int i = 0; i < 20; ++i) f.insert(f.end(), std::begin(wire::kFiller), std::end(wire::kFiller));
  f.push_back(wire::kEtx);
  return crcHex(f);
}

// The frames of of_connect for terminal n after the A2 frame.
inline std::vector<WantFrame> connectFrames(std::uint16_t n) {
  return {
      {"02 A2 5D 19 59", 'S', 2400},
      {hex(std::vector<std::uint8_t>{0x02, wire::hi(n), wire::lo(n)}), 'M', 2450},
      {confirmationHex(n), 'S', 2450},
      {"06 06 06 06 06", 'S', 2450},
  };
}

inline Date date(int y, int m, int d) { return Date{y, m, d}; }
inline DateTime dateTime(int y, int mo, int d, int h, int mi, int s) {
  return DateTime{Date{y, mo, d}, h, mi, s};
}

inline Record record(CivilDate day, std::uint16_t employee, int workClass, int hour, int minute) {
  return Record{day, employee, static_cast<std::uint8_t>(workClass), static_cast<std::uint8_t>(hour),
                static_cast<std::uint8_t>(minute)};
}

inline Fault fault(FaultKind kind, Command command, std::optional<std::size_t> bytes = std::nullopt,
                   int times = 1) {
  Fault f;
  f.kind = kind;
  f.command = command;
  f.bytes = bytes;
  f.times = times;
  return f;
}

class LineTest : public ::testing::Test {
 protected:
  LineTest()
      : comm(std::shared_ptr<serial::PortOpener>(std::shared_ptr<void>(), &line.opener()),
             std::shared_ptr<Clock>(std::shared_ptr<void>(), &line.clock())) {
    comm.commport = 1;
    comm.bautrate = 9600;
  }

  const std::vector<HostFrame>& frames() const { return line.hostFrames(); }

  // Checks the frames the host sent, in order, byte for byte with parity and
  // rate, and that DTR was low while each went out.
  void expectFrames(const std::vector<WantFrame>& want) {
    const auto& got = frames();
    EXPECT_EQ(want.size(), got.size());
    for (std::size_t i = 0; i < std::min(want.size(), got.size()); ++i) {
      SCOPED_TRACE("frame " + std::to_string(i));
      EXPECT_EQ(describe(want[i]), describe(got[i]));
      EXPECT_FALSE(got[i].dtr);
    }
    // Every reply byte reached a host that had raised DTR to listen.
    for (const HostArrival& a : line.arrivals()) {
      bool dtr = true;  // open() raises it
      for (const DtrChange& c : line.dtrChanges())
        if (c.at <= a.at) dtr = c.on;
      EXPECT_TRUE(dtr) << "byte from " << a.from << " arrived while DTR was low";
    }
  }

  void expectOutcome(std::int32_t code, const std::string& message) {
    EXPECT_EQ(code, comm.errorcode);
    EXPECT_EQ(message, comm.errormessage);
    EXPECT_FALSE(line.portOpen());
  }

  Emulator emulator;
  VirtualLine line{emulator};
  n_cst_mvcomm comm;
};


}  // namespace mvcomm::emulator::testing
