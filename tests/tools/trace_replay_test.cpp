// File: tests/tools/trace_replay_test.cpp
//
// A --trace file is a terminal's script: replaying it as the far end of the
// line must take the terminal class through the very same exchange, byte
// for byte, parity and rate included, and give the same records.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/serial/mode_string.h"
#include "tests/terminal/fake_line.h"
#include "tests/tools/run_cli.h"
#include "tools/mvcomm/direct_session.h"
#include "tools/mvcomm/record_output.h"
#include "tools/mvcomm/record_text.h"
#include "tools/mvcomm/trace_port.h"

namespace mvcomm::testing {
namespace {

using cli::TraceFrame;

// The far end of the line, played from a trace in virtual time. The host's
// frames must match the trace's ">" lines; each "<" line becomes readable
// at its recorded time once the frames before it have been sent.
class ReplayLine {
 public:
  explicit ReplayLine(std::vector<TraceFrame> frames) : frames_(std::move(frames)) {}

  std::shared_ptr<Clock> clock() { return std::make_shared<ReplayClock>(*this); }
  std::shared_ptr<serial::PortOpener> opener() { return std::make_shared<Opener>(*this); }
  const std::string& failure() const { return failure_; }
  bool allPlayed() const { return next_ == frames_.size(); }

 private:
  class ReplayClock final : public Clock {
   public:
    explicit ReplayClock(ReplayLine& l) : l_(l) {}
    time_point now() override { return l_.now_; }
    void sleepUntil(time_point t) override { l_.now_ = std::max(l_.now_, t); }

   private:
    ReplayLine& l_;
  };

  class Port final : public serial::SerialPort {
   public:
    explicit Port(ReplayLine& l) : l_(l) {}
    int applySettings(const serial::LineSettings& s) override {
      l_.settings_ = s;
      return 0;
    }
    int readSettings(serial::LineSettings& s) override {
      s = l_.settings_;
      return 0;
    }
    int purge(unsigned) override { return 0; }
    int setDtr(bool) override { return 0; }
    int writeByte(std::uint8_t byte) override { return l_.hostByte(byte); }
    int drain() override { return 0; }
    int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
      got = l_.lineBytes(buffer, capacity);
      return 0;
    }
    int waitReadable(Clock::time_point deadline, bool& readable) override {
      readable = l_.waitLine(deadline);
      return 0;
    }
    int close() override { return 0; }

   private:
    ReplayLine& l_;
  };

  class Opener final : public serial::PortOpener {
   public:
    explicit Opener(ReplayLine& l) : l_(l) {}
    int open(const std::string&, std::unique_ptr<serial::SerialPort>& port) override {
      port = std::make_unique<Port>(l_);
      return 0;
    }

   private:
    ReplayLine& l_;
  };

  Clock::time_point at(const TraceFrame& f) const {
    return Clock::time_point(std::chrono::nanoseconds(static_cast<std::int64_t>(f.ms * 1e6)));
  }
  bool lineNext() const { return next_ < frames_.size() && !frames_[next_].fromHost; }

  int hostByte(std::uint8_t byte) {
    if (!failure_.empty()) return EIO;
    std::ostringstream what;
    if (next_ >= frames_.size() || !frames_[next_].fromHost) {
      what << "host sent " << int(byte) << " where the trace has no host frame";
    } else {
      const TraceFrame& f = frames_[next_];
      if (f.bytes[pos_] != byte || f.settings.baud != settings_.baud ||
          f.settings.parity != settings_.parity)
        what << "frame " << next_ << " byte " << pos_ << ": host sent " << int(byte) << " at "
             << settings_.baud << " " << serial::parityLetter(settings_.parity) << ", trace has "
             << int(f.bytes[pos_]) << " at " << f.settings.baud << " "
             << serial::parityLetter(f.settings.parity);
    }
    failure_ = what.str();
    if (!failure_.empty()) return EIO;
    if (++pos_ == frames_[next_].bytes.size()) ++next_, pos_ = 0;
    return 0;
  }
  bool waitLine(Clock::time_point deadline) {
    if (lineNext() && at(frames_[next_]) <= deadline) {
      now_ = std::max(now_, at(frames_[next_]));
      return true;
    }
    now_ = std::max(now_, deadline);
    return false;
  }
  std::size_t lineBytes(std::uint8_t* buffer, std::size_t capacity) {
    if (!lineNext() || at(frames_[next_]) > now_) return 0;
    const TraceFrame& f = frames_[next_];
    std::size_t n = std::min(capacity, f.bytes.size() - pos_);
    std::copy_n(f.bytes.begin() + static_cast<std::ptrdiff_t>(pos_), n, buffer);
    if ((pos_ += n) == f.bytes.size()) ++next_, pos_ = 0;
    return n;
  }

  std::vector<TraceFrame> frames_;
  std::size_t next_ = 0;     // frame being played
  std::size_t pos_ = 0;      // byte within it
  Clock::time_point now_{};
  serial::LineSettings settings_;
  std::string failure_;
};

struct Traced {
  ToolRun run;
  std::string trace;
};

Traced runTraced(std::vector<std::string> args) {
  char path[] = "/tmp/mvcomm-trace-XXXXXX";
  int fd = ::mkstemp(path);
  ::close(fd);
  args.insert(args.begin(), {"--simulate", "--trace", path});
  Traced t{runCli(args), ""};
  std::string why;
  EXPECT_TRUE(cli::readFile(path, t.trace, why));
  ::unlink(path);
  return t;
}

TEST(TraceReplay, ReadingRecordsReplaysByteForByte) {
  struct Row {
    const char* machine;
  };
  for (const char* machine : {"1", "2001"}) {
    SCOPED_TRACE(machine);
    Traced traced = runTraced({"readdata", machine, "2026-03-10", "2026-03-15"});
    ASSERT_EQ(traced.run.status, 0) << traced.run.err;
    std::vector<TraceFrame> frames;
    std::string why;
    ASSERT_TRUE(cli::parseTrace(traced.trace, frames, why)) << why;

    ReplayLine line(frames);
    cli::SessionSettings settings{1, 9600, 800};
    cli::DirectSession session(line.opener(), line.clock(), settings, {});
    session.readdata(machine, Date{2026, 3, 10}, Date{2026, 3, 15});
    EXPECT_EQ(line.failure(), "");
    EXPECT_TRUE(line.allPlayed());
    EXPECT_EQ(session.outcome().code, 0) << session.outcome().message;
    std::ostringstream out;
    cli::printRecords(out, cli::Format::kCsv, session.records());
    EXPECT_EQ(out.str(), traced.run.out);
  }
}

TEST(TraceReplay, AHostThatStraysFromTheScriptIsCaught) {
  Traced traced = runTraced({"readdata", "1", "2026-03-10", "2026-03-15"});
  std::vector<TraceFrame> frames;
  std::string why;
  ASSERT_TRUE(cli::parseTrace(traced.trace, frames, why)) << why;
  ReplayLine line(frames);
  cli::DirectSession session(line.opener(), line.clock(), cli::SessionSettings{1, 9600, 800}, {});
  session.readdata("1", Date{2026, 3, 9}, Date{2026, 3, 15});   // another range
  EXPECT_NE(line.failure().find("frame"), std::string::npos);
  EXPECT_NE(session.outcome().code, 0);
}

TEST(TraceReplay, TraceShowsEveryFrameWithItsParityAndRate) {
  Traced traced = runTraced({"setclock", "2001", "2026-03-15 08:30:00"});
  ASSERT_EQ(traced.run.status, 0) << traced.run.err;
  const std::string& t = traced.trace;
  for (const char* expected :
       {"# mvcomm trace 1:", " open COM1\n", " set 2400 S\n", " > 2400 S 02 A2 5D 19 59\n",
        " > 2450 M 02 07 D1\n", " > 2450 S 02 A1 5E 7E 03 0F 08 1E 03", " close\n"}) {
    EXPECT_NE(t.find(expected), std::string::npos) << expected << "\n" << t;
  }
  std::vector<TraceFrame> frames;
  std::string why;
  ASSERT_TRUE(cli::parseTrace(t, frames, why));
  EXPECT_FALSE(cli::parseTrace("  1.000 > 2450 S 0G\n", frames, why));
  EXPECT_EQ(why, "line 1: bad byte 0G");
}

// A kill can cut the trace anywhere: a received chunk of 3000 bytes is a
// 9 KB line, which stdio writes in pieces. The trace still reads, as the
// whole lines before the cut.
TEST(TraceOfAKilledRun, ACutLastLineIsLeftOut) {
  char* buffer = nullptr;
  std::size_t length = 0;
  std::FILE* file = ::open_memstream(&buffer, &length);
  ASSERT_NE(file, nullptr);
  const serial::LineSettings settings{2450, serial::Parity::kSpace};
  const std::vector<std::uint8_t> sent{0x02, 0xA6, 0x59, 0x5D};
  const std::vector<std::uint8_t> chunk(3000, 0x5A);
  {
    cli::TraceWriter writer(file, std::make_shared<FakeClock>());
    writer.event("open COM1");
    for (std::uint8_t b : sent) writer.outByte(b, settings);
    writer.inBytes(chunk.data(), chunk.size(), settings);
  }
  const std::string text(buffer, length);
  std::free(buffer);

  std::vector<TraceFrame> frames;
  std::string why;
  ASSERT_TRUE(cli::parseTrace(text, frames, why)) << why;
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].bytes, chunk);
  const std::size_t lastLine = text.rfind('\n', text.size() - 2) + 1;
  ASSERT_GT(text.size() - lastLine, 9000u);
  for (std::size_t cut = lastLine + 1; cut < text.size(); ++cut) {
    frames.clear();
    ASSERT_TRUE(cli::parseTrace(text.substr(0, cut), frames, why)) << cut << ": " << why;
    ASSERT_EQ(frames.size(), 1u) << cut;
    EXPECT_EQ(frames[0].bytes, sent);
  }
}

}  // namespace
}  // namespace mvcomm::testing
