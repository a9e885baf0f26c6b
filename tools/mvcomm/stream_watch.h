// File: tools/mvcomm/stream_watch.h
//
// Clearing a terminal after a read that missed records loses them for good.
// The terminal class refuses a record transfer that is cut short or
// damaged; before the tool trusts a read enough to clear, it checks the
// data frames once more on its own: it keeps the exchanges of the port's
// last session (a SerialPort decorator) and walks them here. The two
// checks share no code, so a fault in one is caught by the other.
//
// Each session's checks (record frames, table block replies) are also
// judged when its port closes, so that the tool can say when a terminal's
// frames were taken on their structure alone.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/serial/serial_port.h"
#include "tools/mvcomm/check_judge.h"

namespace mvcomm::cli {

// One frame the host sent and the bytes that came back before its next one.
struct Exchange {
  std::vector<std::uint8_t> sent;
  std::vector<std::uint8_t> received;
};

// The checks one kind of transfer in a session carried.
struct SessionCheck {
  std::string what;        // "record frames", "table block replies"
  CheckFinding finding;
};

// The checks of the record transfer (either model) and the table block
// replies in `exchanges`; kinds the session did not hold are left out.
std::vector<SessionCheck> judgeSession(const std::vector<Exchange>& exchanges);

class StreamWatch {
 public:
  // The exchanges since the port was last opened.
  const std::vector<Exchange>& exchanges() const { return exchanges_; }
  // Bytes received since the host last wrote.
  std::vector<std::uint8_t> lastReception() const {
    return exchanges_.empty() ? std::vector<std::uint8_t>{} : exchanges_.back().received;
  }

  // What every session so far carried, in order.
  const std::vector<SessionCheck>& checks() const { return checks_; }
  // Frames of the last session that began 02 `command`, and how many of
  // them drew no reply at all.
  std::size_t sent(std::uint8_t command) const;
  std::size_t unanswered(std::uint8_t command) const;

  void onOpen() { exchanges_.clear(); }
  void onClose();
  void onWrite(std::uint8_t byte) {
    if (exchanges_.empty() || !exchanges_.back().received.empty() || !frameOpen_) exchanges_.emplace_back();
    exchanges_.back().sent.push_back(byte);
    frameOpen_ = true;
  }
  // The frame being written has left (a drain ends every frame).
  void onFrameEnd() { frameOpen_ = false; }
  void onRead(const std::uint8_t* bytes, std::size_t n) {
    if (exchanges_.empty()) exchanges_.emplace_back();
    exchanges_.back().received.insert(exchanges_.back().received.end(), bytes, bytes + n);
  }

 private:
  std::vector<Exchange> exchanges_;
  bool frameOpen_ = false;  // writes go on the last exchange's frame
  std::vector<SessionCheck> checks_;
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
// frames) is whole: every frame as long as its K says with its end byte
// where K puts it, the last one ending in EOT (bytes after it are not
// looked at), and no frame off the check the others carry (check_judge.h).
// `records` gets the record count the frames carry; `why` says what is
// wrong otherwise.
bool newModelStreamComplete(std::span<const std::uint8_t> reply, std::size_t& records,
                            std::string& why);

// True when the old-model transfer of the session in `exchanges` is whole:
// the read command's reply (five ACKs and the first frame) and every frame
// after it whole as above, the last frame received ending in EOT.
// `records` gets the record count the frames carry.
bool oldModelTransferComplete(const std::vector<Exchange>& exchanges, std::size_t& records,
                              std::string& why);

}  // namespace mvcomm::cli
