// File: terminal/n_cst_mvcomm_serial.cpp
//
// The terminal class's use of the serial line: open, line settings, sending
// a frame, receiving a reply. Half duplex: DTR low while sending, high while
// receiving; the receive queue is purged before and after every reception.
//
// Order around a frame (a Linux write returns while the byte is queued):
//
//   write ... drain -> purge receive -> 8 ms pause -> DTR, parity or rate    allowed
//   write ... 8 ms pause -> ...                  FORBIDDEN: the pause would
//                                                run while the frame is on the wire
//   ... pause -> purge receive -> receive        FORBIDDEN: a terminal that
//                                                answers within the pause
//                                                would lose its first bytes
#include <algorithm>
#include <cerrno>

#include "platform/serial/mode_string.h"
#include "terminal/frames.h"
#include "terminal/n_cst_mvcomm.h"

namespace mvcomm {

namespace {

constexpr std::chrono::milliseconds kFirstByteWait{5000};
constexpr std::chrono::milliseconds kNewModelIdle{5000};
constexpr std::chrono::milliseconds kDefaultIdle{800};
constexpr std::chrono::milliseconds kSendSettle{8};
constexpr std::size_t kReadChunk = 512;

}  // namespace

std::string n_cst_mvcomm::settingsString(char parity) const {
  return "COM" + std::to_string(commport) + ":2400," + parity + ",8,1";
}

bool n_cst_mvcomm::of_opencomm() {
  if (commport <= 0) {
    of_seterrorinfo(invalid_commport, false);
    return false;
  }
  if (il_hcomm != invalid_handle_value) {
    int e = port_ ? port_->close() : 0;
    port_.reset();
    il_hcomm = invalid_handle_value;
    if (e != 0) return failOs(e);
  }
  std::unique_ptr<serial::SerialPort> port;
  int e = opener_ ? opener_->open("COM" + std::to_string(commport), port) : ENODEV;
  if (e == 0 && !port) e = ENODEV;
  if (e != 0) return failOs(e);
  port_ = std::move(port);
  il_hcomm = nextHandle_;
  nextHandle_ = nextHandle_ == INT32_MAX ? 1 : nextHandle_ + 1;
  return true;
}

bool n_cst_mvcomm::of_setcommstat(const std::string& as_settings, std::int16_t ai_bautrate) {
  if (!port_) return failOs(EBADF);  // an earlier report closed the port
  serial::LineSettings settings;
  int e = port_->readSettings(settings);
  if (e == 0) e = serial::parseModeString(as_settings, settings);
  if (e == 0) {
    settings.baud = terminal::actualBaud(ai_bautrate);
    e = port_->applySettings(settings);
  }
  if (e != 0) return failOs(e);
  return true;
}

bool n_cst_mvcomm::of_sendcommand(std::span<const std::uint8_t> ablb_buffer,
                                  std::int32_t al_buffersize) {
  if (!port_) return failOs(EBADF);
  int e = port_->purge(serial::kPurgeTxClear);
  if (e == 0) e = port_->setDtr(false);
  auto size = std::min<std::size_t>(ablb_buffer.size(), al_buffersize > 0 ? static_cast<std::size_t>(al_buffersize) : 0);
  for (std::size_t i = 0; e == 0 && i < size; ++i) e = port_->writeByte(ablb_buffer[i]);
  // The pause runs from the last stop bit. What arrived until then is an
  // echo or stale; the reply is kept from here on, also when it starts
  // within the pause (the original host's pause began while its frame was
  // still in the UART, so it never lost such a reply).
  if (e == 0) e = port_->drain();
  if (e == 0) e = port_->purge(serial::kPurgeRxClear);
  if (e != 0) return failOs(e);
  clock_->sleepFor(kSendSettle);
  return true;
}

bool n_cst_mvcomm::of_receivedata(std::vector<std::uint8_t>& ablb_buffer, std::int32_t& al_bytesread,
                                  bool ab_newmachine) {
  if (!port_) {
    ib_newmachinereaddata = false;
    al_bytesread = 0;
    return failOs(EBADF);
  }
  // The receive queue was purged when the frame before left the line.
  int e = port_->setDtr(true);
  if (e == 0) e = port_->purge(serial::kPurgeTxClear);
  if (e == 0) {
    Clock::duration idle = kDefaultIdle;
    if (ib_newmachinereaddata) {
      idle = kNewModelIdle;
      ib_newmachinereaddata = false;
    } else if (receivedatatimelapse > 0) {
      idle = std::chrono::milliseconds(receivedatatimelapse);
    }
    if (ablb_buffer.size() < kFrameBufferSize) ablb_buffer.resize(kFrameBufferSize);
    const std::size_t limit = static_cast<std::size_t>(ab_newmachine ? terminal::kNewModelByteLimit
                                                                     : terminal::kOldModelByteLimit);
    std::size_t received = 0;
    notify(Progress::Kind::kWaiting, 0, kFirstByteWait);
    // The reply ends when nothing arrives for longer than the current wait
    // (5000 ms for the first byte, then the idle time-out after each chunk),
    // at the byte limit, or at a read failure. A byte arriving exactly at
    // the deadline still counts.
    Clock::time_point deadline = clock_->now() + kFirstByteWait;
    for (;;) {
      std::size_t room = std::min(kReadChunk, ablb_buffer.size() - received);
      std::size_t got = 0;
      if (room == 0) break;  // frame buffer full: the rest is purged below
      if (port_->read(ablb_buffer.data() + received, room, got) != 0) break;
      if (got > 0) {
        received += got;
        if (received >= limit) break;
        deadline = clock_->now() + idle;
        continue;
      }
      if (clock_->now() >= deadline) break;
      bool readable = false;
      if (port_->waitReadable(deadline, readable) != 0) break;
    }
    al_bytesread = static_cast<std::int32_t>(received);
    e = port_->purge(serial::kPurgeRxClear);
  }
  if (e != 0) {
    ib_newmachinereaddata = false;
    al_bytesread = 0;
    return failOs(e);
  }
  return true;
}

}  // namespace mvcomm
