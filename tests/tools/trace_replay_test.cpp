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
#include "testing/fake_line.h"
#include "tests/tools/run_cli.h"
#include "tools/mvcomm/direct_session.h"
#include "tools/mvcomm/record_output.h"
#include "tools/mvcomm/record_text.h"
#include "tools/mvcomm/trace_port.h"

namespace mvcomm::testing {
namespace {

using cli::TraceFrame;

// The far end of the line, played from a trace on the scripted line: each
// frame the host sends must be the trace's next ">" line, rate and parity
// included; the "<" lines after it are the answer, at their recorded
// distances from it.
class ReplayLine {
 public:
  explicit ReplayLine(std::vector<TraceFrame> frames) : frames_(std::move(frames)) {
    line_->setResponder([this](const SentFrame& sent) { return answer(sent); });
  }

  std::shared_ptr<Clock> clock() { return clock_; }
  std::shared_ptr<serial::PortOpener> opener() { return std::make_shared<FakeOpener>(line_); }
  const std::string& failure() const { return failure_; }
  bool allPlayed() const { return next_ == frames_.size(); }

 private:
  static Clock::duration after(double ms) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
  }

  Reply answer(const SentFrame& sent) {
    if (!failure_.empty()) return {};
    std::ostringstream what;
    if (next_ >= frames_.size() || !frames_[next_].fromHost) {
      what << "host sent " << sent.bytes.size() << " bytes where the trace has no host frame";
    } else if (const TraceFrame& f = frames_[next_]; f.bytes != sent.bytes || f.settings.baud != sent.settings.baud ||
                                                      f.settings.parity != sent.settings.parity) {
      what << "frame " << next_ << ": host sent " << sent.bytes.size() << " bytes at " << sent.settings.baud << " "
           << serial::parityLetter(sent.settings.parity) << ", trace has " << f.bytes.size() << " at " << f.settings.baud
           << " " << serial::parityLetter(f.settings.parity);
    }
    failure_ = what.str();
    if (!failure_.empty()) return {};
    double previous = frames_[next_++].ms;
    Reply reply;
    for (; next_ < frames_.size() && !frames_[next_].fromHost; ++next_) {
      reply.push_back({after(frames_[next_].ms - previous), frames_[next_].bytes});
      previous = frames_[next_].ms;
    }
    return reply;
  }

  std::vector<TraceFrame> frames_;
  std::size_t next_ = 0;  // trace frame to play next
  std::shared_ptr<FakeClock> clock_ = std::make_shared<FakeClock>();
  std::shared_ptr<FakeLine> line_ = std::make_shared<FakeLine>(clock_);
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
