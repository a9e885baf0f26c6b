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
  int drain() override {
    watch_->onFrameEnd();
    return inner().drain();
  }
  int close() override {
    watch_->onClose();
    return inner().close();
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
constexpr std::size_t kBlockReplyBytes = 2 + wire::kBlockBytes + 2;

bool startsWithAcks(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kAckSize) return false;
  for (std::size_t i = 0; i < kAckSize; ++i)
    if (bytes[i] != wire::kAck) return false;
  return true;
}

bool sentCommand(const Exchange& e, std::uint8_t command) {
  return e.sent.size() >= 2 && e.sent[0] == wire::kStx && e.sent[1] == command;
}

// Walks the data frames at the start of `bytes` up to one ending in EOT (or
// the end of the bytes), giving each to `judge`. `ended` tells whether an
// EOT frame came; returns false with `why` on a frame cut short or without
// its end byte.
bool walkFrames(std::span<const std::uint8_t> bytes, std::size_t& records, bool& ended, CheckJudge& judge,
                std::string& why) {
  std::size_t p = 0;
  ended = false;
  while (p < bytes.size() && !ended) {
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
    if (end != wire::kEtx && end != wire::kEot) {
      why = "a frame is damaged";
      return false;
    }
    judge.add(frame, emulator::FrameParts{3, payload, true});
    if (k != wire::kHeader && k != wire::kDate) records += k / 4;
    ended = end == wire::kEot;
    p += size;
  }
  return true;
}

// The transfer's verdict once every frame is in.
bool checksHold(const CheckJudge& judge, std::string& why) {
  const CheckFinding f = judge.finding();
  if (f.misfits == 0) return true;
  why = "a frame is damaged (it does not fit the " + f.formText() + " check of the others)";
  return false;
}

// The acknowledged old-model read command of the session, or size().
std::size_t oldTransferStart(const std::vector<Exchange>& exchanges) {
  for (std::size_t i = exchanges.size(); i-- > 0;) {
    if (sentCommand(exchanges[i], wire::kCmdReadOld) && startsWithAcks(exchanges[i].received)) return i;
  }
  return exchanges.size();
}

// Walks the old-model transfer from `start`.
bool walkOldTransfer(const std::vector<Exchange>& exchanges, std::size_t start, std::size_t& records,
                     bool& ended, CheckJudge& judge, std::string& why) {
  ended = false;
  for (std::size_t i = start; i < exchanges.size() && !ended; ++i) {
    std::span<const std::uint8_t> frame = exchanges[i].received;
    if (i == start) frame = frame.subspan(kAckSize);
    if (frame.empty()) break;
    std::size_t carried = 0;
    if (!walkFrames(frame, carried, ended, judge, why)) return false;
    records += carried;
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
  CheckJudge judge;
  if (!walkFrames(reply.subspan(kAckSize), records, ended, judge, why)) return false;
  if (!ended) {
    why = "the stream ended without its EOT frame";
    return false;
  }
  return checksHold(judge, why);
}

bool oldModelTransferComplete(const std::vector<Exchange>& exchanges, std::size_t& records,
                              std::string& why) {
  records = 0;
  const std::size_t start = oldTransferStart(exchanges);
  if (start == exchanges.size()) {
    why = "no acknowledged read command";
    return false;
  }
  bool ended = false;
  CheckJudge judge;
  if (!walkOldTransfer(exchanges, start, records, ended, judge, why)) return false;
  if (!ended) {
    why = "the transfer ended without its EOT frame";
    return false;
  }
  return checksHold(judge, why);
}

std::vector<SessionCheck> judgeSession(const std::vector<Exchange>& exchanges) {
  CheckJudge records;
  CheckJudge blocks;
  std::size_t count = 0;
  bool ended = false;
  std::string why;
  for (const Exchange& e : exchanges) {
    if (sentCommand(e, wire::kCmdReadNew) && startsWithAcks(e.received)) {
      (void)walkFrames(std::span<const std::uint8_t>(e.received).subspan(kAckSize), count, ended, records, why);
    } else if (sentCommand(e, wire::kCmdReadBlock) && e.received.size() >= kBlockReplyBytes) {
      blocks.add(e.received, emulator::FrameParts{2, wire::kBlockBytes, false});
    }
  }
  if (const std::size_t start = oldTransferStart(exchanges); start < exchanges.size())
    (void)walkOldTransfer(exchanges, start, count, ended, records, why);
  std::vector<SessionCheck> out;
  if (records.finding().frames > 0) out.push_back({"record frames", records.finding()});
  if (blocks.finding().frames > 0) out.push_back({"table block replies", blocks.finding()});
  return out;
}

std::size_t StreamWatch::sent(std::uint8_t command) const {
  std::size_t n = 0;
  for (const Exchange& e : exchanges_) n += sentCommand(e, command) ? 1 : 0;
  return n;
}

std::size_t StreamWatch::unanswered(std::uint8_t command) const {
  std::size_t n = 0;
  for (const Exchange& e : exchanges_) n += sentCommand(e, command) && e.received.empty() ? 1 : 0;
  return n;
}

void StreamWatch::onClose() {
  for (SessionCheck& c : judgeSession(exchanges_)) checks_.push_back(std::move(c));
}

}  // namespace mvcomm::cli
