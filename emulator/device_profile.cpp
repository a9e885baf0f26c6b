// File: emulator/device_profile.cpp
#include "emulator/device_profile.h"

#include <charconv>

namespace mvcomm::emulator {

namespace {

bool number(std::string_view text, long long max, long long& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= 0 && value <= max;
}

std::string hexByte(std::uint8_t b) {
  static const char* kHex = "0123456789ABCDEF";
  return {kHex[b >> 4], kHex[b & 15]};
}

long long millis(Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); }

// Sets one key of `p`; "" or what is wrong.
std::string apply(std::string_view key, std::string_view value, DeviceProfile& p) {
  long long n = 0;
  if (key == "crc") {
    const auto form = crcFormFromName(value);
    if (!form) return "crc=" + std::string(value) + ": unknown form (zero, or arc|modbus|xmodem-SPAN[-msb])";
    p.crc = *form;
  } else if (key == "start") {
    unsigned byte = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), byte, 16);
    if (value.size() != 2 || ec != std::errc() || end != value.data() + value.size())
      return "start=" + std::string(value) + ": two hex digits";
    p.startByte = static_cast<std::uint8_t>(byte);
  } else if (key == "third") {
    if (value != "zero" && value != "complement") return "third: zero or complement";
    p.thirdByteComplement = value == "complement";
  } else if (key == "write-reply") {
    if (value == "acks") p.writeReply = WriteReply::kAcks;
    else if (value == "ack") p.writeReply = WriteReply::kAck;
    else if (value == "echo") p.writeReply = WriteReply::kEcho;
    else if (value == "nak") p.writeReply = WriteReply::kNak;
    else return "write-reply: acks, ack, echo or nak";
  } else if (key == "rate-return") {
    if (value == "next-session") {
      p.rateReturn = RateReturn::kNextSession;
    } else if (value == "end") {
      p.rateReturn = RateReturn::kEndOfTransfer;
    } else if (value == "power-up") {
      p.rateReturn = RateReturn::kPowerUp;
    } else if (value == "quiet" || value.rfind("quiet:", 0) == 0) {
      p.rateReturn = RateReturn::kQuiet;
      if (value.size() > 5 && !number(value.substr(6), 600000, n)) return "rate-return=quiet:MS: 0 to 600000 ms";
      if (value.size() > 5) p.rateQuiet = std::chrono::milliseconds(n);
    } else {
      return "rate-return: next-session, end, quiet[:MS] or power-up";
    }
  } else if (key == "table-write") {
    if (value != "erase" && value != "in-place") return "table-write: erase or in-place";
    p.tableWrite = value == "erase" ? TableWrite::kEraseOnFirstBlock : TableWrite::kInPlace;
  } else if (key == "turnaround") {
    if (!number(value, 60000, n)) return "turnaround: 0 to 60000 ms";
    p.turnaround = std::chrono::milliseconds(n);
  } else if (key == "garbage") {
    if (value != "no-ack" && value != "any") return "garbage: no-ack or any";
    p.garbageHoldsAck = value == "any";
  } else if (key == "records-per-frame") {
    // K = 4 N must fit its byte.
    if (!number(value, 63, n)) return "records-per-frame: 0 to 63";
    p.recordsPerFrame = static_cast<std::size_t>(n);
  } else if (key == "eot") {
    if (value != "last" && value != "own") return "eot: last or own";
    p.eotOwnFrame = value == "own";
  } else {
    return "unknown profile key " + std::string(key);
  }
  return "";
}

}  // namespace

std::string parseDeviceProfile(std::string_view text, DeviceProfile& profile) {
  DeviceProfile p = profile;
  if (text == "default") text = "";
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    const std::size_t eq = item.find('=');
    if (eq == std::string_view::npos) return "profile: " + std::string(item) + ": key=value expected";
    if (std::string why = apply(item.substr(0, eq), item.substr(eq + 1), p); !why.empty()) return "profile: " + why;
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
  profile = p;
  return "";
}

std::string deviceProfileText(const DeviceProfile& p) {
  const DeviceProfile d;
  std::string out;
  auto add = [&](const std::string& item) { out += (out.empty() ? "" : ",") + item; };
  if (!(p.crc == d.crc)) add("crc=" + crcFormName(p.crc));
  if (p.startByte != d.startByte) add("start=" + hexByte(p.startByte));
  if (p.thirdByteComplement) add("third=complement");
  switch (p.writeReply) {
    case WriteReply::kAcks: break;
    case WriteReply::kAck: add("write-reply=ack"); break;
    case WriteReply::kEcho: add("write-reply=echo"); break;
    case WriteReply::kNak: add("write-reply=nak"); break;
  }
  switch (p.rateReturn) {
    case RateReturn::kNextSession: break;
    case RateReturn::kEndOfTransfer: add("rate-return=end"); break;
    case RateReturn::kQuiet: add("rate-return=quiet:" + std::to_string(millis(p.rateQuiet))); break;
    case RateReturn::kPowerUp: add("rate-return=power-up"); break;
  }
  if (p.tableWrite == TableWrite::kInPlace) add("table-write=in-place");
  if (p.turnaround != d.turnaround) add("turnaround=" + std::to_string(millis(p.turnaround)));
  if (p.garbageHoldsAck) add("garbage=any");
  if (p.recordsPerFrame != d.recordsPerFrame) add("records-per-frame=" + std::to_string(p.recordsPerFrame));
  if (p.eotOwnFrame) add("eot=own");
  return out.empty() ? "default" : out;
}

}  // namespace mvcomm::emulator
