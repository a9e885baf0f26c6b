// File: tests/emulator/stream_server_test.cpp
//
// The emulator served on a byte stream (as on a pseudo-terminal), with a
// scripted link and a manual clock: what it hears, the pacing of its replies,
// garbling when the host listens at another rate, and a vanishing device.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "emulator/stream_server.h"
#include "tests/emulator/raw_host.h"

namespace mvcomm::emulator {
namespace {

using testing::Bytes;
using testing::withCrc;
using namespace std::chrono_literals;

class ManualClock final : public Clock {
 public:
  time_point now() override { return now_; }
  void sleepUntil(time_point t) override { now_ = std::max(now_, t); }

 private:
  time_point now_{std::chrono::hours(1)};
};

// Host bytes arrive in batches at set times, each batch with its settings.
class ScriptedLink final : public StreamLink {
 public:
  explicit ScriptedLink(ManualClock& clock) : clock_(clock) {}

  void at(Clock::duration offset, const Bytes& bytes, Parity parity, std::uint32_t baud) {
    batches_.push_back(Batch{start_ + offset, bytes, serial::LineSettings{baud, parity}});
  }

  int hostSettings(serial::LineSettings& s) override {
    s = listen && clock_.now() >= listen->first ? listen->second : current_;
    return 0;
  }
  int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
    got = 0;
    if (next_ < batches_.size() && batches_[next_].at <= clock_.now()) {
      const Batch& b = batches_[next_++];
      got = std::min(capacity, b.bytes.size());
      std::copy(b.bytes.begin(), b.bytes.begin() + static_cast<std::ptrdiff_t>(got), buffer);
      current_ = b.settings;
    }
    return 0;
  }
  int write(std::uint8_t byte) override {
    written.push_back({clock_.now(), byte});
    return writeError;
  }
  int waitReadable(Clock::time_point deadline, bool& readable) override {
    readable = next_ < batches_.size() && batches_[next_].at <= deadline;
    clock_.sleepUntil(readable ? batches_[next_].at : deadline);
    return 0;
  }

  // From this time on, the host listens with these settings.
  std::optional<std::pair<Clock::time_point, serial::LineSettings>> listen;
  std::vector<std::pair<Clock::time_point, std::uint8_t>> written;
  int writeError = 0;

 private:
  struct Batch {
    Clock::time_point at;
    Bytes bytes;
    serial::LineSettings settings;
  };
  ManualClock& clock_;
  Clock::time_point start_ = clock_.now();
  std::vector<Batch> batches_;
  std::size_t next_ = 0;
  serial::LineSettings current_;
};

class StreamServing : public ::testing::Test {
 protected:
  void scriptConnect(std::uint16_t n) {
    link.at(0ms, withCrc({0x02, 0xA2, 0x5D}), Parity::kSpace, 2400);
    link.at(1800ms, {0x02, wire::hi(n), wire::lo(n)}, Parity::kMark, 2450);
    link.at(1810ms, testing::confirmation(n), Parity::kSpace, 2450);
  }

  ManualClock clock;
  ScriptedLink link{clock};
  Emulator emulator;
  StreamServer server{emulator, link, clock};
  const Clock::time_point start = clock.now();
};

TEST_F(StreamServing, AnswersTheConnectPacedAtWireTime) {
  emulator.addTerminal(5);
  scriptConnect(5);
  int error = -1;
  EXPECT_EQ(ServeEnd::kTimeUp, server.serveUntil(start + 5s, error));
  EXPECT_EQ(0, error);
  EXPECT_EQ(5u + 3 + 105, server.heard());
  ASSERT_EQ(111u, link.written.size());
  EXPECT_EQ(start + 1810ms + Terminal::kDefaultTurnaround + byteTime(2450), link.written.front().first);
  EXPECT_EQ(byteTime(2450) * 110, link.written.back().first - link.written.front().first);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(0x06, link.written[i].second);
}

TEST_F(StreamServing, HostListeningAtAnotherRateHearsGarbage) {
  emulator.addTerminal(5);
  scriptConnect(5);
  link.listen = {{start + 1811ms, serial::LineSettings{10416, Parity::kSpace}}};
  int error = 0;
  server.serveUntil(start + 5s, error);
  ASSERT_EQ(111u, link.written.size());
  EXPECT_EQ(garble(0x06), link.written.front().second);
}

TEST_F(StreamServing, VanishFaultEndsServingAfterItsBytes) {
  emulator.addTerminal(5).inject(testing::makeFault(FaultKind::kVanish, Command::kConnect, 30));
  scriptConnect(5);
  int error = 0;
  EXPECT_EQ(ServeEnd::kVanished, server.serveUntil(start + 5s, error));
  EXPECT_EQ(30u, link.written.size());
}

TEST_F(StreamServing, LinkErrorsStopServing) {
  emulator.addTerminal(5);
  scriptConnect(5);
  link.writeError = 5;
  int error = 0;
  EXPECT_EQ(ServeEnd::kLinkError, server.serveUntil(start + 5s, error));
  EXPECT_EQ(5, error);
  EXPECT_EQ(1u, link.written.size());
}

}  // namespace
}  // namespace mvcomm::emulator
