// File: tools/mvcomm/stream_watch.h
//
// Clearing a terminal after a read that missed records loses them for good.
// The terminal class refuses a record transfer that is cut short or
// damaged; before the tool trusts a read enough to clear, it checks the
// data frames once more on its own: it keeps the exchanges of the port's
// last session (a SerialPort decorator) and walks them here. The two
// checks share no code, so a fault in one is caught by the other.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/serial/serial_port.h"

namespace mvcomm::cli {

// One frame the host sent and the bytes that came back before its next one.
struct Exchange {
  std::vector<std::uint8_t> sent;
  std::vector<std::uint8_t> received;
};

class StreamWatch {
 public:
  // The exchanges since the port was last opened.
  const std::vector<Exchange>& exchanges() const { return exchanges_; }
  // Bytes received since the host last wrote.
  std::vector<std::uint8_t> lastReception() const {
    return exchanges_.empty() ? std::vector<std::uint8_t>{} : exchanges_.back().received;
  }

  void onOpen() { exchanges_.clear(); }
  void onWrite(std::uint8_t byte) {
    if (exchanges_.empty() || !exchanges_.back().received.empty()) exchanges_.emplace_back();
    exchanges_.back().sent.push_back(byte);
  }
  void onRead(const std::uint8_t* bytes, std::size_t n) {
    if (exchanges_.empty()) exchanges_.emplace_back();
    exchanges_.back().received.insert(exchanges_.back().received.end(), bytes, bytes + n);
  }

 private:
  std::vector<Exchange> exchanges_;
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

// True when the old-model transfer of the session in `exchanges` is whole:
// the read command's reply (five ACKs and the first frame) and every frame
// after it complete with a matching CRC, the last frame received ending in
// EOT. `records` gets the record count the frames carry.
bool oldModelTransferComplete(const std::vector<Exchange>& exchanges, std::size_t& records,
                              std::string& why);

}  // namespace mvcomm::cli
