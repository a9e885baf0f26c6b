// File: tools/mvcomm/stream_watch.cpp
#include "tools/mvcomm/stream_watch.h"

#include "emulator/wire.h"
#include "platform/serial/forwarding_port.h"

namespace mvcomm::cli {

namespace wire = emulator::wire;

namespace {

class WatchedPort final : public serial::ForwardingPort {
 public:
  WatchedPort(std::unique_ptr<serial::SerialPort> inner, std::shared_ptr<StreamWatch> watch)
      : ForwardingPort(std::move(inner)), watch_(std::move(watch)) {}
  int writeByte(std::uint8_t byte) override {
    int rc = inner().writeByte(byte);
    if (rc == 0) watch_->onWrite(byte);
    return rc;
  }
  int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
    int rc = inner().read(buffer, capacity, got);
    if (rc == 0 && got > 0) watch_->onRead(buffer, got);
    return rc;
  }

 private:
  std::shared_ptr<StreamWatch> watch_;
};

}  // namespace

int WatchingOpener::open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) {
  std::unique_ptr<serial::SerialPort> opened;
  if (int rc = inner_->open(name, opened)) return rc;
  watch_->onOpen();
  port = std::make_unique<WatchedPort>(std::move(opened), watch_);
  return 0;
}

namespace {

constexpr std::size_t kAckSize = 5;

bool startsWithAcks(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kAckSize) return false;
  for (std::size_t i = 0; i < kAckSize; ++i)
    if (bytes[i] != wire::kAck) return false;
  return true;
}

// Walks the data frames that fill `bytes` exactly. `ended` tells whether
// the last one ends in EOT; returns false with `why` on a cut or damaged
// frame or bytes after an EOT frame.
bool walkFrames(std::span<const std::uint8_t> bytes, std::size_t& records, bool& ended,
                std::string& why) {
  std::size_t p = 0;
  ended = false;
  while (p < bytes.size()) {
    if (ended) {
      why = "bytes after the EOT frame";
      return false;
    }
    if (p + 2 > bytes.size()) {
      why = "the stream stops inside a frame";
      return false;
    }
    const std::uint8_t k = bytes[p + 1];
    const std::size_t payload = k == wire::kHeader ? 2 : k == wire::kDate ? 3 : k;
    const std::size_t size = payload + 6;
    if (p + size > bytes.size()) {
      why = "the stream stops inside a frame";
      return false;
    }
    auto frame = bytes.subspan(p, size);
    const std::uint8_t end = frame[3 + payload];
    if ((end != wire::kEtx && end != wire::kEot) || !wire::crcMatches(frame)) {
      why = "a frame is damaged";
      return false;
    }
    if (k != wire::kHeader && k != wire::kDate) records += k / 4;
    ended = end == wire::kEot;
    p += size;
  }
  return true;
}

}  // namespace

bool newModelStreamComplete(std::span<const std::uint8_t> reply, std::size_t& records,
                            std::string& why) {
  records = 0;
  if (reply.size() < kAckSize) {
    why = "no acknowledgement";
    return false;
  }
  bool ended = false;
  if (!walkFrames(reply.subspan(kAckSize), records, ended, why)) return false;
  if (!ended) {
    why = "the stream ended without its EOT frame";
    return false;
  }
  return true;
}

bool oldModelTransferComplete(const std::vector<Exchange>& exchanges, std::size_t& records,
                              std::string& why) {
  records = 0;
  // The transfer starts at the last read command that was acknowledged.
  std::size_t start = exchanges.size();
  for (std::size_t i = exchanges.size(); i-- > 0;) {
    const auto& sent = exchanges[i].sent;
    if (sent.size() >= 2 && sent[0] == wire::kStx && sent[1] == wire::kCmdReadOld &&
        startsWithAcks(exchanges[i].received)) {
      start = i;
      break;
    }
  }
  if (start == exchanges.size()) {
    why = "no acknowledged read command";
    return false;
  }
  bool ended = false;
  for (std::size_t i = start; i < exchanges.size() && !ended; ++i) {
    std::span<const std::uint8_t> frame = exchanges[i].received;
    if (i == start) frame = frame.subspan(kAckSize);
    if (frame.empty()) break;
    std::size_t carried = 0;
    if (!walkFrames(frame, carried, ended, why)) return false;
    records += carried;
  }
  if (!ended) {
    why = "the transfer ended without its EOT frame";
    return false;
  }
  return true;
}

}  // namespace mvcomm::cli
