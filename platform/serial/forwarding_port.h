// File: platform/serial/forwarding_port.h
//
// A SerialPort that hands every call to the port it wraps: the base of the
// decorators that watch, trace or save around a port, each overriding only
// what it looks at.
#pragma once

#include <memory>
#include <utility>

#include "platform/serial/serial_port.h"

namespace mvcomm::serial {

class ForwardingPort : public SerialPort {
 public:
  explicit ForwardingPort(std::unique_ptr<SerialPort> inner) : inner_(std::move(inner)) {}

  int applySettings(const LineSettings& s) override { return inner_->applySettings(s); }
  int readSettings(LineSettings& s) override { return inner_->readSettings(s); }
  int purge(unsigned flags) override { return inner_->purge(flags); }
  int setDtr(bool on) override { return inner_->setDtr(on); }
  int writeByte(std::uint8_t byte) override { return inner_->writeByte(byte); }
  int drain() override { return inner_->drain(); }
  int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
    return inner_->read(buffer, capacity, got);
  }
  int waitReadable(Clock::time_point deadline, bool& readable) override {
    return inner_->waitReadable(deadline, readable);
  }
  int close() override { return inner_->close(); }

 protected:
  SerialPort& inner() { return *inner_; }

 private:
  std::unique_ptr<SerialPort> inner_;
};

}  // namespace mvcomm::serial
