// File: tools/mvcomm/trace_port.cpp
#include "tools/mvcomm/trace_port.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "platform/serial/forwarding_port.h"
#include "platform/serial/mode_string.h"

namespace mvcomm::cli {

namespace {

std::string hexBytes(const std::uint8_t* bytes, std::size_t count) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i) out += ' ';
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
  return out;
}

std::string settingsText(const serial::LineSettings& s) {
  return std::to_string(s.baud) + " " + serial::parityLetter(s.parity);
}

class TracingPort final : public serial::ForwardingPort {
 public:
  TracingPort(std::unique_ptr<serial::SerialPort> inner, std::shared_ptr<TraceWriter> trace)
      : ForwardingPort(std::move(inner)), trace_(std::move(trace)) {
    serial::LineSettings s;
    if (this->inner().readSettings(s) == 0) settings_ = s;
  }
  ~TracingPort() override { trace_->flushOut(); }

  int applySettings(const serial::LineSettings& s) override {
    trace_->flushOut();
    int rc = inner().applySettings(s);
    if (rc != 0) {
      trace_->event(failure("set " + settingsText(s), rc));
      return rc;
    }
    // A driver may keep a rate near the one asked for: the line carries
    // what it reads back.
    settings_ = s;
    serial::LineSettings back;
    std::string note;
    if (inner().readSettings(back) == 0 && back.baud != s.baud) {
      settings_.baud = back.baud;
      note = " reads " + std::to_string(back.baud);
    }
    trace_->event("set " + settingsText(s) + note);
    return rc;
  }
  int purge(unsigned flags) override {
    trace_->flushOut();
    int rc = inner().purge(flags);
    if (rc) trace_->event(failure("purge " + std::to_string(flags), rc));
    return rc;
  }
  int setDtr(bool on) override {
    trace_->flushOut();
    int rc = inner().setDtr(on);
    if (rc) trace_->event(failure(on ? "dtr 1" : "dtr 0", rc));
    return rc;
  }
  int writeByte(std::uint8_t byte) override {
    int rc = inner().writeByte(byte);
    if (rc == 0) {
      trace_->outByte(byte, settings_);
    } else {
      trace_->flushOut();
      trace_->event(failure("write", rc));
    }
    return rc;
  }
  int read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
    trace_->flushOut();
    int rc = inner().read(buffer, capacity, got);
    if (rc == 0 && got > 0) trace_->inBytes(buffer, got, settings_);
    if (rc) trace_->event(failure("read", rc));
    return rc;
  }
  int drain() override {
    trace_->flushOut();
    int rc = inner().drain();
    if (rc) trace_->event(failure("drain", rc));
    return rc;
  }
  int waitReadable(Clock::time_point deadline, bool& readable) override {
    trace_->flushOut();
    return inner().waitReadable(deadline, readable);
  }
  int close() override {
    trace_->flushOut();
    int rc = inner().close();
    trace_->event(rc == 0 ? "close" : failure("close", rc));
    return rc;
  }

 private:
  static std::string failure(const std::string& what, int rc) {
    return "! " + what + " " + std::to_string(rc) + " " + std::strerror(rc);
  }

  std::shared_ptr<TraceWriter> trace_;
  serial::LineSettings settings_;   // what the last successful apply set
};

}  // namespace

TraceWriter::TraceWriter(std::FILE* file, std::shared_ptr<Clock> clock)
    : file_(file), clock_(std::move(clock)), start_(clock_->now()) {
  std::fputs("# mvcomm trace 1: ms direction baud parity bytes\n", file_);
  std::fflush(file_);
}

TraceWriter::~TraceWriter() {
  flushOut();
  std::fclose(file_);
}

void TraceWriter::line(Clock::time_point at, const std::string& text) {
  const double ms = std::chrono::duration<double, std::milli>(at - start_).count();
  std::fprintf(file_, "%12.3f %s\n", ms, text.c_str());
  std::fflush(file_);
}

void TraceWriter::event(const std::string& text) { line(clock_->now(), text); }

void TraceWriter::outByte(std::uint8_t byte, const serial::LineSettings& settings) {
  if (!pending_.empty() && !(settings == pendingSettings_)) flushOut();
  if (pending_.empty()) {
    pendingAt_ = clock_->now();
    pendingSettings_ = settings;
  }
  pending_.push_back(byte);
}

void TraceWriter::flushOut() {
  if (pending_.empty()) return;
  line(pendingAt_, "> " + settingsText(pendingSettings_) + " " +
                       hexBytes(pending_.data(), pending_.size()));
  pending_.clear();
}

void TraceWriter::inBytes(const std::uint8_t* bytes, std::size_t count,
                          const serial::LineSettings& settings) {
  flushOut();
  line(clock_->now(), "< " + settingsText(settings) + " " + hexBytes(bytes, count));
}

TracingOpener::TracingOpener(std::shared_ptr<serial::PortOpener> inner,
                             std::shared_ptr<TraceWriter> trace)
    : inner_(std::move(inner)), trace_(std::move(trace)) {}

int TracingOpener::open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) {
  std::unique_ptr<serial::SerialPort> opened;
  int rc = inner_->open(name, opened);
  if (rc) {
    trace_->event("! open " + name + " " + std::to_string(rc) + " " + std::strerror(rc));
    return rc;
  }
  trace_->event("open " + name);
  port = std::make_unique<TracingPort>(std::move(opened), trace_);
  return 0;
}

namespace {

std::vector<std::string_view> tokens(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos]))) ++pos;
    std::size_t end = pos;
    while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
    if (end > pos) out.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return out;
}

// Each field is a whole token: "0O" is neither a rate nor a parity.
bool parseTime(std::string_view s, double& ms) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), ms);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(ms) && ms >= 0;
}

// The rates a port takes (the mode strings' limit); the writer never
// writes a sign or a zero rate.
bool parseBaud(std::string_view s, std::uint32_t& baud) {
  if (s.empty() || s.size() > 7) return false;
  std::uint32_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (v == 0 || v > 4000000) return false;
  baud = v;
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool parseTrace(const std::string& text, std::vector<TraceFrame>& frames, std::string& error) {
  std::size_t pos = 0;
  for (int lineNo = 1; pos < text.size(); ++lineNo) {
    const std::size_t nl = text.find('\n', pos);
    // The writer ends every line; a last line without its newline is the
    // one a killed run was writing, and may be cut anywhere.
    if (nl == std::string::npos) break;
    const std::string_view line(text.data() + pos, nl - pos);
    pos = nl + 1;
    if (line.empty() || line[0] == '#') continue;
    auto fail = [&](const std::string& what) {
      error = "line " + std::to_string(lineNo) + ": " + what;
      return false;
    };
    const auto t = tokens(line);
    TraceFrame f;
    if (t.size() < 2 || !parseTime(t[0], f.ms)) return fail("no time and kind");
    if (t[1] != ">" && t[1] != "<") continue;
    f.fromHost = t[1] == ">";
    if (t.size() < 4 || !parseBaud(t[2], f.settings.baud) || t[3].size() != 1)
      return fail("no rate and parity");
    switch (t[3][0]) {
      case 'N': f.settings.parity = serial::Parity::kNone; break;
      case 'O': f.settings.parity = serial::Parity::kOdd; break;
      case 'E': f.settings.parity = serial::Parity::kEven; break;
      case 'M': f.settings.parity = serial::Parity::kMark; break;
      case 'S': f.settings.parity = serial::Parity::kSpace; break;
      default: return fail("bad parity");
    }
    for (std::size_t i = 4; i < t.size(); ++i) {
      if (t[i].size() != 2 || hexDigit(t[i][0]) < 0 || hexDigit(t[i][1]) < 0)
        return fail("bad byte " + std::string(t[i]));
      f.bytes.push_back(static_cast<std::uint8_t>(hexDigit(t[i][0]) * 16 + hexDigit(t[i][1])));
    }
    frames.push_back(std::move(f));
  }
  return true;
}

}  // namespace mvcomm::cli
