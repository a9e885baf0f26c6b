// File: tools/mvcomm/trace_info.cpp
//
// Sections: the trace as sessions of exchanges; reply shapes; the report.
#include "tools/mvcomm/trace_info.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "emulator/device_profile.h"
#include "emulator/virtual_line.h"
#include "emulator/wire.h"
#include "platform/serial/mode_string.h"
#include "tools/mvcomm/stream_watch.h"
#include "tools/mvcomm/trace_port.h"

namespace mvcomm::cli {

namespace {

namespace wire = emulator::wire;

// ---- the trace as sessions of exchanges -------------------------------------

struct TimedExchange {
  Exchange exchange;
  double sentMs = 0;               // when the frame's first byte was written
  std::uint32_t sentBaud = 0;
  double firstReplyMs = -1;        // when the first reply bytes were read; -1: none
  std::size_t firstChunk = 0;      // bytes in that first read
  std::uint32_t replyBaud = 0;
};

double byteMs(std::uint32_t baud) { return baud == 0 ? 0 : 11000.0 / baud; }

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t p = 0;
  while (p < line.size()) {
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
    std::size_t e = p;
    while (e < line.size() && line[e] != ' ' && line[e] != '\t') ++e;
    if (e > p) out.push_back(line.substr(p, e - p));
    p = e;
  }
  return out;
}

// The trace's byte lines grouped into sessions (an "open" line starts one),
// and its "set ... reads N" notes. The trace has been read whole before.
std::vector<std::vector<TimedExchange>> sessions(const std::string& text, std::set<std::string>& readBacks) {
  std::vector<std::vector<TimedExchange>> out(1);
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const auto w = words(line);
    if (w.size() >= 2 && w[1] == "open" && !out.back().empty()) out.emplace_back();
    if (w.size() == 6 && w[1] == "set" && w[4] == "reads")
      readBacks.insert("asked for " + std::string(w[2]) + ", the driver reads back " + std::string(w[5]));
    std::vector<TraceFrame> one;
    std::string ignored;
    if (in.eof() || !parseTrace(line + "\n", one, ignored) || one.empty()) continue;
    const TraceFrame& f = one.front();
    auto& session = out.back();
    if (f.fromHost) {
      TimedExchange e;
      e.exchange.sent = f.bytes;
      e.sentMs = f.ms;
      e.sentBaud = f.settings.baud;
      session.push_back(std::move(e));
    } else if (!session.empty()) {
      TimedExchange& e = session.back();
      if (e.firstReplyMs < 0) {
        e.firstReplyMs = f.ms;
        e.firstChunk = f.bytes.size();
        e.replyBaud = f.settings.baud;
      }
      e.exchange.received.insert(e.exchange.received.end(), f.bytes.begin(), f.bytes.end());
    }
  }
  if (out.back().empty() && out.size() > 1) out.pop_back();
  return out;
}

// ---- reply shapes -------------------------------------------------------------

// The kind of host frame an exchange began with, or "" for one we do not
// report on.
std::string kindOf(const std::vector<std::uint8_t>& sent) {
  if (sent.size() == wire::kConfirmationSize) return "connect";
  if (sent.size() < 2 || sent[0] != wire::kStx) return "";
  switch (sent[1]) {
    case wire::kCmdSetClock: return "set-clock";
    case wire::kCmdBaud: return "baud-change";
    case wire::kCmdClear: return "clear";
    case wire::kCmdWriteBlock: return "write-block";
    default: return "";
  }
}

std::string hexText(const std::vector<std::uint8_t>& bytes, std::size_t most) {
  std::string s = emulator::hex(std::span(bytes).first(std::min(most, bytes.size())));
  return bytes.size() > most ? s + " ..." : s;
}

std::string shapeOf(const Exchange& e) {
  const auto& r = e.received;
  if (r.empty()) return "no reply";
  if (r == wire::acks()) return "five ACKs";
  if (r == std::vector<std::uint8_t>{wire::kAck}) return "one ACK";
  if (r[0] == wire::kNak) return "NAK first: " + hexText(r, 5);
  if (r.size() >= 6 && e.sent.size() >= 6 && std::equal(r.begin(), r.begin() + 6, e.sent.begin()))
    return r.size() == 6 ? "its first six bytes echoed" : "its first bytes echoed, then more";
  if (r.size() == wire::kConnectReplySize && std::all_of(r.begin(), r.begin() + 5, [](auto b) { return b == wire::kAck; }))
    return "111 bytes, five ACKs first";
  return std::to_string(r.size()) + " bytes: " + hexText(r, 8);
}

// ---- the report -------------------------------------------------------------------

std::string percentile(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  char text[96];
  std::snprintf(text, sizeof text, "%.1f ms typically (%.1f to %.1f ms over %zu replies)", v[v.size() / 2], v.front(),
                v.back(), v.size());
  return text;
}

}  // namespace

bool traceInfo(const std::string& text, std::ostream& out, std::string& error) {
  std::vector<TraceFrame> frames;
  if (!parseTrace(text, frames, error)) return false;
  std::set<std::string> readBacks;
  const auto all = sessions(text, readBacks);

  std::set<std::string> sentRates, replyRates;
  for (const TraceFrame& f : frames) {
    const std::string r =
        std::to_string(f.settings.baud) + " " + serial::parityLetter(f.settings.parity);
    (f.fromHost ? sentRates : replyRates).insert(r);
  }
  std::size_t sent = 0, answered = 0;
  std::map<std::string, std::map<std::string, int>> shapes;  // kind -> shape -> count
  std::vector<double> turnarounds;
  std::map<std::string, std::vector<CheckFinding>> checks;   // what -> one per session
  for (const auto& session : all) {
    std::vector<Exchange> plain;
    for (const TimedExchange& t : session) {
      ++sent;
      plain.push_back(t.exchange);
      if (const std::string kind = kindOf(t.exchange.sent); !kind.empty()) ++shapes[kind][shapeOf(t.exchange)];
      if (t.firstReplyMs < 0) continue;
      ++answered;
      const double wireEnd = t.sentMs + byteMs(t.sentBaud) * static_cast<double>(t.exchange.sent.size());
      turnarounds.push_back(std::max(0.0, t.firstReplyMs - byteMs(t.replyBaud) * static_cast<double>(t.firstChunk) - wireEnd));
    }
    for (const SessionCheck& c : judgeSession(plain)) checks[c.what].push_back(c.finding);
  }

  auto join = [](const std::set<std::string>& s) {
    std::string t;
    for (const auto& x : s) t += (t.empty() ? "" : ", ") + x;
    return t.empty() ? std::string("none") : t;
  };
  out << "sessions: " << all.size() << "; frames sent: " << sent << ", answered: " << answered << '\n';
  out << "rates: host sent at " << join(sentRates) << "; replies read at " << join(replyRates) << '\n';
  out << "driver: " << (readBacks.empty() ? "kept every rate as asked" : join(readBacks)) << '\n';

  emulator::DeviceProfile profile;
  for (const char* what : {"record frames", "table block replies"}) {
    out << what << ": ";
    const auto it = checks.find(what);
    if (it == checks.end()) {
      out << "none in the trace\n";
      continue;
    }
    std::size_t total = 0, misfits = 0;
    std::set<std::string> forms, starts, thirds;
    for (const CheckFinding& f : it->second) {
      total += f.frames;
      misfits += f.misfits;
      forms.insert(f.formText());
      char hex[8];
      if (f.startByte) std::snprintf(hex, sizeof hex, "%02X", *f.startByte);
      starts.insert(f.startByte ? hex : "varies");
      if (!f.thirdByte.empty()) thirds.insert(f.thirdByte);
      if (f.form) profile.crc = *f.form;
      if (f.startByte) profile.startByte = *f.startByte;
      if (f.thirdByte == "complement") profile.thirdByteComplement = true;
    }
    out << total << " in " << it->second.size() << " transfer(s); check " << join(forms);
    if (misfits > 0) out << " (" << misfits << " frame(s) off it: damaged on the line)";
    out << "; start byte " << join(starts);
    if (!thirds.empty()) out << "; byte after K: " << join(thirds);
    out << '\n';
  }
  for (const auto& [kind, counts] : shapes) {
    out << kind << " replies:";
    for (const auto& [shape, n] : counts) out << " " << shape << " (" << n << ");";
    out << '\n';
  }
  if (const auto w = shapes.find("write-block"); w != shapes.end()) {
    if (w->second.count("one ACK")) profile.writeReply = emulator::WriteReply::kAck;
    if (w->second.count("its first six bytes echoed")) profile.writeReply = emulator::WriteReply::kEcho;
  }
  if (turnarounds.empty()) {
    out << "turnaround: no reply in the trace\n";
  } else {
    out << "turnaround (end of the host's frame to the reply's first byte, estimated): " << percentile(turnarounds)
        << '\n';
    std::sort(turnarounds.begin(), turnarounds.end());
    // A trace's times may be anything a file holds; a simulated terminal
    // waits at most a minute.
    const double typical = std::min(turnarounds[turnarounds.size() / 2], 60000.0);
    profile.turnaround = std::chrono::milliseconds(static_cast<long>(typical + 0.5));
  }
  out << "as mvcomm-sim --profile " << emulator::deviceProfileText(profile) << '\n';
  return true;
}

}  // namespace mvcomm::cli
