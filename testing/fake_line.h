// File: testing/fake_line.h
//
// A scripted serial line in virtual time for the terminal class's unit tests
// and fuzz targets. The host's frames are logged with the line settings they
// went out with; a responder decides what the far end answers to each frame
// and when. Any port operation can be made to fail at its Nth call.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial/serial_port.h"

namespace mvcomm::testing {

// Virtual time: sleeping jumps the clock forward.
class FakeClock final : public Clock {
 public:
  time_point now() override { return now_; }
  void sleepUntil(time_point deadline) override {
    if (deadline > now_) now_ = deadline;
  }
  void advance(duration d) { now_ += d; }

 private:
  time_point now_{std::chrono::hours(1)};
};

struct SentFrame {
  std::vector<std::uint8_t> bytes;    // as written, one writeByte each
  serial::LineSettings settings;      // in force while they were written
  Clock::time_point at;               // when the frame was complete
};

// One piece of a reply: `bytes` arrive `delay` after the previous piece
// (the first piece: after the host's frame was complete).
struct ReplyChunk {
  Clock::duration delay;
  std::vector<std::uint8_t> bytes;
};
using Reply = std::vector<ReplyChunk>;

// Decides the far end's answer to the frame just sent (frames() holds the
// history, the new frame last).
using Responder = std::function<Reply(const SentFrame& frame)>;

class FakeLine {
 public:
  explicit FakeLine(std::shared_ptr<FakeClock> clock) : clock_(std::move(clock)) {}

  void setResponder(Responder responder) { responder_ = std::move(responder); }
  // Fails the `call`-th port operation (counting from 1 over all
  // operations, open included) with `error`; 0 turns it off.
  void failCall(int call, int error) {
    failCall_ = call;
    failError_ = error;
  }
  // Every operation from the `call`-th on fails (a vanished device).
  void failFrom(int call, int error) {
    failFrom_ = call;
    failError_ = error;
  }
  int calls() const { return calls_; }
  bool injected() const { return injected_; }

  const std::vector<SentFrame>& frames() const { return frames_; }
  void clearFrames() { frames_.clear(); }
  const std::vector<std::string>& openedNames() const { return opened_; }
  bool isOpen() const { return open_; }
  int openError = 0;  // open() fails with this when non-zero

  // ---- used by the port handle
  int count();  // returns the injected error for this call, or 0
  void opened(const std::string& name);
  void finishFrame();
  void writeByte(std::uint8_t b);
  void setDtr(bool on);
  void purgeRx();
  std::size_t read(std::uint8_t* buffer, std::size_t capacity);
  bool waitReadable(Clock::time_point deadline);
  void closed();

  serial::LineSettings settings;
  bool dtr = true;

 private:
  struct Pending {
    Clock::time_point at;
    std::uint8_t byte;
  };

  std::shared_ptr<FakeClock> clock_;
  Responder responder_;
  std::vector<SentFrame> frames_;
  std::vector<std::uint8_t> current_;
  std::deque<Pending> incoming_;
  std::vector<std::string> opened_;
  bool open_ = false;
  int calls_ = 0;
  int failCall_ = 0;
  int failFrom_ = 0;
  int failError_ = 0;
  bool injected_ = false;
};

class FakeOpener final : public serial::PortOpener {
 public:
  explicit FakeOpener(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}
  int open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) override;

 private:
  std::shared_ptr<FakeLine> line_;
};

}  // namespace mvcomm::testing
