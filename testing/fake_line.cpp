// File: testing/fake_line.cpp
#include "testing/fake_line.h"

#include <cerrno>

namespace mvcomm::testing {

namespace {

class FakePort final : public serial::SerialPort {
 public:
  explicit FakePort(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}
  ~FakePort() override {
    if (!closed_) line_->closed();
  }

  int applySettings(const serial::LineSettings& s) override {
    if (int e = check()) return e;
    line_->finishFrame();
    line_->settings = s;
    return 0;
  }
  int readSettings(serial::LineSettings& s) override {
    if (int e = check()) return e;
    s = line_->settings;
    return 0;
  }
  int purge(unsigned flags) override {
    if (int e = check()) return e;
    if (flags & serial::kPurgeTxClear) line_->finishFrame();
    if (flags & serial::kPurgeRxClear) line_->purgeRx();
    return 0;
  }
  int setDtr(bool on) override {
    if (int e = check()) return e;
    line_->setDtr(on);
    return 0;
  }
  int writeByte(std::uint8_t b) override {
    if (int e = check()) return e;
    line_->writeByte(b);
    return 0;
  }
  int drain() override {
    if (int e = check()) return e;
    line_->finishFrame();
    return 0;
  }
  int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
    got = 0;
    if (int e = check()) return e;
    got = line_->read(buffer, capacity);
    return 0;
  }
  int waitReadable(Clock::time_point deadline, bool& readable) override {
    readable = false;
    if (int e = check()) return e;
    readable = line_->waitReadable(deadline);
    return 0;
  }
  int close() override {
    if (closed_) return EBADF;
    closed_ = true;
    line_->closed();
    return line_->count();
  }

 private:
  int check() {
    if (closed_) return EBADF;
    return line_->count();
  }
  std::shared_ptr<FakeLine> line_;
  bool closed_ = false;
};

}  // namespace

int FakeLine::count() {
  ++calls_;
  if ((failCall_ != 0 && calls_ == failCall_) || (failFrom_ != 0 && calls_ >= failFrom_)) {
    injected_ = true;
    return failError_;
  }
  return 0;
}

void FakeLine::opened(const std::string& name) {
  opened_.push_back(name);
  open_ = true;
  current_.clear();
  incoming_.clear();
}

void FakeLine::finishFrame() {
  if (current_.empty()) return;
  frames_.push_back({std::move(current_), settings, clock_->now()});
  current_.clear();
  if (!responder_) return;
  Reply reply = responder_(frames_.back());
  Clock::time_point at = clock_->now();
  for (const ReplyChunk& chunk : reply) {
    at += chunk.delay;
    for (std::uint8_t b : chunk.bytes) incoming_.push_back({at, b});
  }
}

void FakeLine::writeByte(std::uint8_t b) { current_.push_back(b); }

void FakeLine::setDtr(bool on) {
  if (on) finishFrame();
  dtr = on;
}

void FakeLine::purgeRx() {
  while (!incoming_.empty() && incoming_.front().at <= clock_->now()) incoming_.pop_front();
}

std::size_t FakeLine::read(std::uint8_t* buffer, std::size_t capacity) {
  std::size_t got = 0;
  while (got < capacity && !incoming_.empty() && incoming_.front().at <= clock_->now()) {
    buffer[got++] = incoming_.front().byte;
    incoming_.pop_front();
  }
  return got;
}

bool FakeLine::waitReadable(Clock::time_point deadline) {
  if (!incoming_.empty() && incoming_.front().at <= deadline) {
    clock_->sleepUntil(incoming_.front().at);
    return true;
  }
  clock_->sleepUntil(deadline);
  return false;
}

void FakeLine::closed() {
  finishFrame();
  open_ = false;
  incoming_.clear();
}

int FakeOpener::open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) {
  if (int e = line_->count()) return e;
  if (line_->openError != 0) return line_->openError;
  line_->opened(name);
  port = std::make_unique<FakePort>(line_);
  return 0;
}

}  // namespace mvcomm::testing
