// File: tests/emulator/raw_host.h
//
// A hand-driven host for the emulator's own tests: opens the virtual line's
// port and sends and receives frames with explicit parity and rate, so each
// terminal behaviour is tested without the terminal class.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "emulator/emulator.h"
#include "emulator/virtual_line.h"
#include "emulator/wire.h"

namespace mvcomm::emulator::testing {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

inline Fault makeFault(FaultKind kind, Command command, std::optional<std::size_t> bytes = std::nullopt,
                       std::chrono::milliseconds pause = std::chrono::milliseconds(0), int skip = 0,
                       int times = 1) {
  Fault f;
  f.kind = kind;
  f.command = command;
  f.bytes = bytes;
  f.pause = pause;
  f.skip = skip;
  f.times = times;
  return f;
}

inline Bytes withCrc(Bytes frame) {
  wire::appendCrc(frame);
  return frame;
}

inline Bytes confirmation(std::uint16_t n) {
  const auto c = static_cast<std::uint16_t>(~n);
  Bytes f = {wire::hi(c), wire::lo(c)};
  for (int i = 0; i < 20; ++i) f.insert(f.end(), std::begin(wire::kFiller), std::end(wire::kFiller));
  f.push_back(wire::kEtx);
  return withCrc(f);
}

inline Bytes dateBytes(const CivilDate& d) {
  return {static_cast<std::uint8_t>(d.year - 1900), static_cast<std::uint8_t>(d.month),
          static_cast<std::uint8_t>(d.day)};
}

inline Bytes readFrame(bool newModel, const CivilDate& from, const CivilDate& to) {
  Bytes f = {wire::kStx, newModel ? wire::kCmdReadNew : wire::kCmdReadOld, 0x55};
  for (auto b : dateBytes(from)) f.push_back(b);
  f.push_back(0x20);
  for (auto b : dateBytes(to)) f.push_back(b);
  f.push_back(wire::kEtx);
  return withCrc(f);
}

inline Bytes blockFrame(std::uint8_t cmd, int n, const Bytes& data = {}) {
  const auto a1 = static_cast<std::uint16_t>(wire::kBlockBaseA1 + n);
  const auto a2 = static_cast<std::uint16_t>(wire::kBlockBaseA2 + n);
  Bytes f = {wire::kStx, cmd, wire::hi(a1), wire::lo(a1), wire::hi(a2), wire::lo(a2)};
  f.insert(f.end(), data.begin(), data.end());
  return withCrc(f);
}

class RawHost {
 public:
  explicit RawHost(VirtualLine& line) : line_(line) {
    EXPECT_EQ(0, line.opener().open("COM1", port_));
  }

  serial::SerialPort& port() { return *port_; }

  void send(const Bytes& bytes, Parity parity, std::uint32_t baud) {
    ASSERT_EQ(0, port_->applySettings(serial::LineSettings{baud, parity}));
    ASSERT_EQ(0, port_->purge(serial::kPurgeTxClear));
    ASSERT_EQ(0, port_->setDtr(false));
    for (auto b : bytes) ASSERT_EQ(0, port_->writeByte(b));
  }

  // Waits up to `first` for the first byte, then until `idle` passes with
  // nothing new. Listens at `baud` (0: the rate of the last send).
  Bytes receive(std::chrono::milliseconds idle = 800ms, std::chrono::milliseconds first = 5000ms,
                std::uint32_t baud = 0) {
    Bytes got;
    serial::LineSettings s;
    EXPECT_EQ(0, port_->readSettings(s));
    if (baud != 0) {
      s.baud = baud;
      EXPECT_EQ(0, port_->applySettings(s));
    }
    EXPECT_EQ(0, port_->purge(serial::kPurgeTxClear));
    EXPECT_EQ(0, port_->setDtr(true));
    Clock& clock = line_.clock();
    auto deadline = clock.now() + first;
    while (true) {
      bool readable = false;
      if (port_->waitReadable(deadline, readable) != 0 || !readable) break;
      std::uint8_t buf[512];
      std::size_t n = 0;
      if (port_->read(buf, sizeof buf, n) != 0) break;
      got.insert(got.end(), buf, buf + n);
      deadline = clock.now() + idle;
    }
    return got;
  }

  // The session start of the terminal class: A2 at 2400, settle, address
  // with mark parity, confirmation; returns the connect reply.
  Bytes connect(std::uint16_t n) {
    send(withCrc({wire::kStx, 0xA2, 0x5D}), Parity::kSpace, 2400);
    line_.clock().sleepFor(1800ms);
    send({wire::kStx, wire::hi(n), wire::lo(n)}, Parity::kMark, 2450);
    send(confirmation(n), Parity::kSpace, 2450);
    Bytes reply = receive();
    send(wire::acks(), Parity::kSpace, 2450);
    return reply;
  }

  void selectTable(std::uint16_t n) {
    send({wire::hi(n), wire::lo(n), 0x00}, Parity::kMark, 2450);
    line_.clock().sleepFor(1800ms);
    send({wire::kCmdTableOpen, 0x00}, Parity::kSpace, 2450);
  }

 private:
  VirtualLine& line_;
  std::unique_ptr<serial::SerialPort> port_;
};

}  // namespace mvcomm::emulator::testing
