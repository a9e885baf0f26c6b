// File: tools/mvcomm/stream_watch.cpp
#include "tools/mvcomm/stream_watch.h"

#include "emulator/wire.h"

namespace mvcomm::cli {

namespace wire = emulator::wire;

namespace {

class WatchedPort final : public serial::SerialPort {
 public:
  WatchedPort(std::unique_ptr<serial::SerialPort> inner, std::shared_ptr<StreamWatch> watch)
      : inner_(std::move(inner)), watch_(std::move(watch)) {}
  int applySettings(const serial::LineSettings& s) override { return inner_->applySettings(s); }
  int readSettings(serial::LineSettings& s) override { return inner_->readSettings(s); }
  int purge(unsigned flags) override { return inner_->purge(flags); }
  int setDtr(bool on) override { return inner_->setDtr(on); }
  int writeByte(std::uint8_t byte) override {
    watch_->onWrite();
    return inner_->writeByte(byte);
  }
  int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
    int rc = inner_->read(buffer, capacity, got);
    if (rc == 0 && got > 0) watch_->onRead(buffer, got);
    return rc;
  }
  int waitReadable(Clock::time_point deadline, bool& readable) override {
    return inner_->waitReadable(deadline, readable);
  }
  int close() override { return inner_->close(); }

 private:
  std::unique_ptr<serial::SerialPort> inner_;
  std::shared_ptr<StreamWatch> watch_;
};

}  // namespace

int WatchingOpener::open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) {
  std::unique_ptr<serial::SerialPort> opened;
  if (int rc = inner_->open(name, opened)) return rc;
  port = std::make_unique<WatchedPort>(std::move(opened), watch_);
  return 0;
}

bool newModelStreamComplete(std::span<const std::uint8_t> reply, std::size_t& records,
                            std::string& why) {
  records = 0;
  constexpr std::size_t kAcks = 5;
  if (reply.size() < kAcks) {
    why = "no acknowledgement";
    return false;
  }
  std::size_t p = kAcks;
  bool ended = false;
  while (p < reply.size()) {
    if (ended) {
      why = "bytes after the EOT frame";
      return false;
    }
    if (p + 2 > reply.size()) {
      why = "the stream stops inside a frame";
      return false;
    }
    const std::uint8_t k = reply[p + 1];
    const std::size_t payload = k == wire::kHeader ? 2 : k == wire::kDate ? 3 : k;
    const std::size_t size = payload + 6;
    if (p + size > reply.size()) {
      why = "the stream stops inside a frame";
      return false;
    }
    auto frame = reply.subspan(p, size);
    const std::uint8_t end = frame[3 + payload];
    if ((end != wire::kEtx && end != wire::kEot) || !wire::crcMatches(frame)) {
      why = "a frame is damaged";
      return false;
    }
    if (k != wire::kHeader && k != wire::kDate) records += k / 4;
    ended = end == wire::kEot;
    p += size;
  }
  if (!ended) {
    why = "the stream ended without its EOT frame";
    return false;
  }
  return true;
}

}  // namespace mvcomm::cli
