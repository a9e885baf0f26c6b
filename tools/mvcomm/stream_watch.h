// File: tools/mvcomm/stream_watch.h
//
// The terminal class accepts a new-model record stream however it ends: a
// stream cut short by a hang-up or noise still decodes into the records it
// holds, and readdata reports success. Clearing the terminal after such a
// read would lose the missing records, so the tool keeps the bytes of the
// last reception (a SerialPort decorator) and checks the stream's frames
// before it trusts the read as complete.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/serial/serial_port.h"

namespace mvcomm::cli {

class StreamWatch {
 public:
  // Bytes received since the host last wrote.
  const std::vector<std::uint8_t>& lastReception() const { return last_; }

  void onWrite() { receiving_ = false; }
  void onRead(const std::uint8_t* bytes, std::size_t n) {
    if (!receiving_) last_.clear();
    receiving_ = true;
    last_.insert(last_.end(), bytes, bytes + n);
  }

 private:
  std::vector<std::uint8_t> last_;
  bool receiving_ = false;
};

// Wraps an opener so that its ports report to `watch`.
class WatchingOpener final : public serial::PortOpener {
 public:
  WatchingOpener(std::shared_ptr<serial::PortOpener> inner, std::shared_ptr<StreamWatch> watch)
      : inner_(std::move(inner)), watch_(std::move(watch)) {}
  int open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) override;

 private:
  std::shared_ptr<serial::PortOpener> inner_;
  std::shared_ptr<StreamWatch> watch_;
};

// True when `reply` (the read command's reply: five ACKs, then the data
// frames) is whole: every frame complete with a matching CRC, the last one
// ending in EOT, nothing after it. `records` gets the record count the
// frames carry; `why` says what is wrong otherwise.
bool newModelStreamComplete(std::span<const std::uint8_t> reply, std::size_t& records,
                            std::string& why);

}  // namespace mvcomm::cli
