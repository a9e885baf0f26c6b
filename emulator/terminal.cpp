// File: emulator/terminal.cpp
//
// The terminal's line discipline: address recognition by the ninth bit,
// frame assembly, session state, the session time-out, and turning replies
// into transmissions with faults applied. The commands themselves are in
// emulator/commands/.
#include "emulator/terminal.h"

#include <algorithm>

#include "emulator/wire.h"

namespace mvcomm::emulator {

namespace {

bool isGeneric(FaultKind kind) {
  switch (kind) {
    case FaultKind::kConnectLength:
    case FaultKind::kStopBeforeEot:
    case FaultKind::kEarlyEot:
    case FaultKind::kShortBlock:
    case FaultKind::kEndless:
      return false;
    default:
      return true;
  }
}

// Deterministic noise for the garbage fault; without `mayHoldAck`, never a
// stray acknowledgement.
std::vector<std::uint8_t> noise(std::size_t count, std::uint32_t seed, bool mayHoldAck) {
  std::vector<std::uint8_t> bytes(count);
  std::uint32_t x = seed * 2654435761U + 1;
  for (auto& b : bytes) {
    x = x * 1103515245U + 12345U;
    b = static_cast<std::uint8_t>(x >> 16);
    if (b == wire::kAck && !mayHoldAck) b = 0x5A;
  }
  return bytes;
}

// Expected length of a session frame by its command byte (0: unknown).
std::size_t sessionFrameLength(std::uint8_t command) {
  switch (command) {
    case wire::kCmdSession: return 5;
    case wire::kCmdSetClock: return 11;
    case wire::kCmdBaud: return 6;
    case wire::kCmdReadNew: return 13;
    case wire::kCmdReadOld: return 13;
    case wire::kCmdClear: return 10;
    default: return 0;
  }
}

}  // namespace

Terminal::Terminal(std::uint16_t number) : number_(number), image_(wire::kMaxBlocks * wire::kBlockBytes, 0xFF) {
  image_[0] = 0xFF;
  image_[1] = 0xFF;
}

// --- The world's side ------------------------------------------------------

bool Terminal::addRecord(const Record& record) {
  if (!record.encodable()) return false;
  records_.push_back(record);
  return true;
}

void Terminal::setReferenceTable(std::span<const ReferenceRow> rows) {
  std::fill(image_.begin(), image_.end(), 0xFF);
  std::size_t p = 2;
  for (const ReferenceRow& row : rows) {
    if (p + 6 > image_.size()) break;  // the image holds 2911 rows
    for (int i = 0; i < 4; ++i) image_[p++] = static_cast<std::uint8_t>(row.cardId >> (8 * i));
    image_[p++] = static_cast<std::uint8_t>(row.employeeId & 0xFF);
    image_[p++] = static_cast<std::uint8_t>(row.employeeId >> 8);
  }
  imageEnd_ = p;
}

std::vector<ReferenceRow> Terminal::referenceTable() const {
  std::vector<ReferenceRow> rows;
  for (std::size_t p = 2; p + 6 <= imageEnd_; p += 6) {
    ReferenceRow row;
    for (int i = 0; i < 4; ++i) row.cardId |= static_cast<std::uint32_t>(image_[p + i]) << (8 * i);
    row.employeeId = static_cast<std::uint16_t>(image_[p + 4] | image_[p + 5] << 8);
    rows.push_back(row);
  }
  return rows;
}

void Terminal::setClock(const CivilDateTime& value, Clock::time_point now) {
  clockValue_ = value;
  clockSetAt_ = now;
}

std::optional<CivilDateTime> Terminal::clockAt(Clock::time_point now) const {
  if (!clockValue_) return std::nullopt;
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - clockSetAt_);
  return clockValue_->plusSeconds(elapsed.count());
}

// --- The line's side -------------------------------------------------------

void Terminal::endSession() {
  phase_ = Phase::kIdle;
  connectCandidate_ = tableCandidate_ = false;
  frame_.clear();
  transfer_.clear();
  transferNext_ = 0;
  transferActive_ = false;
}

void Terminal::endTransfer() {
  endSession();
  if (profile_.rateReturn == RateReturn::kEndOfTransfer) rate_ = kBaseRate;
}

void Terminal::powerUp() {
  endSession();
  rate_ = kBaseRate;
  mark_.clear();
  inMarkRun_ = false;
}

std::size_t Terminal::recordsPerFrame() const {
  const std::size_t own = newModel() ? kNewModelRecordsPerFrame : kOldModelRecordsPerFrame;
  if (profile_.recordsPerFrame == 0) return own;
  // Old-model frames must stay within the host's 206-byte reception.
  return newModel() ? profile_.recordsPerFrame : std::min<std::size_t>(profile_.recordsPerFrame, 50);
}

std::optional<Transmission> Terminal::hear(const LineByte& byte, Clock::time_point at) {
  const Clock::duration quiet = at - lastActivity_;
  if (phase_ != Phase::kIdle && quiet > sessionTimeout_) endSession();
  if (rate_ != kBaseRate) {
    const RateReturn back = profile_.rateReturn;
    if ((back == RateReturn::kEndOfTransfer && quiet > sessionTimeout_) ||
        (back == RateReturn::kQuiet && quiet > profile_.rateQuiet)) {
      endSession();
      rate_ = kBaseRate;
    } else if (back == RateReturn::kNextSession && !ratesMatch(byte.baud, rate_)) {
      // The framing error of a byte at another rate (the next session's
      // opening) brings the terminal back; that byte is lost.
      endSession();
      rate_ = kBaseRate;
      mark_.clear();
      inMarkRun_ = false;
      return std::nullopt;
    }
  }
  if (!ratesMatch(byte.baud, rate_)) {
    // Noise: a UART at another rate sees framing errors, and the frame
    // being assembled is lost.
    frame_.clear();
    mark_.clear();
    inMarkRun_ = false;
    return std::nullopt;
  }
  if (ninthBit(byte)) {
    if (!inMarkRun_) mark_.clear();
    inMarkRun_ = true;
    mark_.push_back(byte.value);
    if (mark_.size() == 3) {
      onAddress();
      if (phase_ != Phase::kIdle) lastActivity_ = at;
    } else if (mark_.size() > 3) {
      phase_ = Phase::kIdle;  // not an address frame of this protocol
    }
    return std::nullopt;
  }
  inMarkRun_ = false;
  if (phase_ == Phase::kIdle) return std::nullopt;
  lastActivity_ = at;
  frame_.push_back(byte.value);
  switch (phase_) {
    case Phase::kAddressed: return onAddressedByte(at);
    case Phase::kSession: return onSessionByte(at);
    case Phase::kTable: return onTableByte(at);
    case Phase::kIdle: break;
  }
  return std::nullopt;
}

void Terminal::onAddress() {
  connectCandidate_ =
      mark_[0] == wire::kStx && mark_[1] == wire::hi(number_) && mark_[2] == wire::lo(number_);
  // The third byte of the table address is not looked at: the host may
  // leave there whatever its previous frame held.
  tableCandidate_ = mark_[0] == wire::hi(number_) && mark_[1] == wire::lo(number_);
  frame_.clear();
  if (connectCandidate_ || tableCandidate_) {
    // A new selection ends any transfer, but not a baud change: the
    // address is heard only at the rate the terminal is at.
    transfer_.clear();
    transferActive_ = false;
    phase_ = Phase::kAddressed;
  } else {
    phase_ = Phase::kIdle;  // another terminal is being addressed
  }
}

std::optional<Transmission> Terminal::onAddressedByte(Clock::time_point at) {
  // 02 HI LO and HI LO xx can both match (HI = 02); what follows decides.
  static constexpr std::uint8_t kOpen[2] = {wire::kCmdTableOpen, 0x00};
  if (tableCandidate_ && frame_.size() <= 2 && std::equal(frame_.begin(), frame_.end(), kOpen)) {
    if (frame_.size() == 2) {
      phase_ = Phase::kTable;
      frame_.clear();
    }
    return std::nullopt;
  }
  tableCandidate_ = false;
  if (connectCandidate_) {
    const std::uint16_t complement = static_cast<std::uint16_t>(~number_);
    std::vector<std::uint8_t> expected = {wire::hi(complement), wire::lo(complement)};
    for (int i = 0; i < 20; ++i) expected.insert(expected.end(), std::begin(wire::kFiller), std::end(wire::kFiller));
    expected.push_back(wire::kEtx);
    wire::appendCrc(expected);
    if (std::equal(frame_.begin(), frame_.end(), expected.begin())) {
      if (frame_.size() < expected.size()) return std::nullopt;
      frame_.clear();
      phase_ = Phase::kSession;
      return onConnect(at);
    }
  }
  // Not our confirmation: stay silent and wait for the next address.
  phase_ = Phase::kIdle;
  frame_.clear();
  return std::nullopt;
}

std::optional<Transmission> Terminal::onSessionByte(Clock::time_point at) {
  const std::uint8_t first = frame_[0];
  if (first == wire::kAck || first == wire::kNak) {
    if (frame_.back() != first) {  // a broken run: start over from this byte
      frame_.erase(frame_.begin(), frame_.end() - 1);
      return std::nullopt;
    }
    if (frame_.size() < 5) return std::nullopt;
    frame_.clear();
    return onAckFrame(first == wire::kAck, at);
  }
  if (first != wire::kStx) {
    frame_.clear();  // resynchronise on the next STX
    return std::nullopt;
  }
  if (frame_.size() < 2) return std::nullopt;
  const std::size_t length = sessionFrameLength(frame_[1]);
  if (length == 0) {
    frame_.clear();
    return std::nullopt;
  }
  if (frame_.size() < length) return std::nullopt;
  const std::uint8_t command = frame_[1];
  // Every command but BE carries its complement in the third byte.
  const bool complementOk =
      command == wire::kCmdReadNew ? frame_[2] == 0x55 : frame_[2] == static_cast<std::uint8_t>(~command);
  const bool intact = complementOk && wire::crcMatches(frame_);
  std::optional<Transmission> out;
  if (!intact) {
    out = reply(Command::kAny, wire::naks(), std::nullopt, at);
  } else {
    switch (command) {
      case wire::kCmdSession: endSession(); break;
      case wire::kCmdSetClock: out = onSetClock(at); break;
      case wire::kCmdBaud: out = onBaudChange(at); break;
      case wire::kCmdReadNew:
      case wire::kCmdReadOld: out = onReadRecords(at); break;
      case wire::kCmdClear: out = onClear(at); break;
      default: break;
    }
  }
  frame_.clear();
  return out;
}

std::optional<Transmission> Terminal::onAckFrame(bool ack, Clock::time_point at) {
  if (!transferActive_) {
    if (!ack) endSession();  // the host rejected our connect reply
    return std::nullopt;
  }
  if (!ack) {
    if (transferNext_ > 0) --transferNext_;  // send the same frame again
  }
  if (transferNext_ >= transfer_.size()) {  // the EOT frame has been acknowledged
    endTransfer();
    return std::nullopt;
  }
  return sendNextRecordFrame(at);
}

std::optional<Transmission> Terminal::onTableByte(Clock::time_point at) {
  if (frame_[0] != wire::kStx) {
    frame_.clear();
    return std::nullopt;
  }
  if (frame_.size() < 2) return std::nullopt;
  std::size_t length = 0;
  switch (frame_[1]) {
    case wire::kCmdReadBlock: length = 8; break;
    case wire::kCmdWriteBlock: length = 24; break;
    case wire::kCmdSession: length = 5; break;
    default:
      frame_.clear();
      return std::nullopt;
  }
  if (frame_.size() < length) return std::nullopt;
  std::optional<Transmission> out;
  if (!wire::crcMatches(frame_)) {
    out = reply(Command::kAny, wire::naks(), std::nullopt, at);
  } else if (frame_[1] == wire::kCmdSession) {
    if (frame_[2] == 0x5D) endSession();
  } else if (frame_[1] == wire::kCmdReadBlock) {
    out = onReadBlock(at);
  } else {
    out = onWriteBlock(at);
  }
  frame_.clear();
  return out;
}

std::size_t Terminal::blockNumber() const {
  const unsigned a1 = frame_[2] << 8 | frame_[3];
  const unsigned a2 = frame_[4] << 8 | frame_[5];
  if (a2 != a1 + 1 || a2 <= wire::kBlockBaseA2) return 0;
  const std::size_t n = a2 - wire::kBlockBaseA2;
  return n <= wire::kMaxBlocks ? n : 0;
}

// --- Faults and replies ----------------------------------------------------

std::optional<Fault> Terminal::takeFault(Command command, std::initializer_list<FaultKind> shaping) {
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (it->command != Command::kAny && it->command != command) continue;
    if (!isGeneric(it->kind) && std::find(shaping.begin(), shaping.end(), it->kind) == shaping.end())
      continue;
    if (it->skip > 0) {
      --it->skip;
      continue;
    }
    Fault taken = *it;
    if (it->times > 0 && --it->times == 0) faults_.erase(it);
    return taken;
  }
  return std::nullopt;
}

std::optional<Transmission> Terminal::reply(Command command, std::vector<std::uint8_t> bytes,
                                            const std::optional<Fault>& fault, Clock::time_point at) {
  Transmission out;
  out.terminal = number_;
  out.baud = rate_;
  out.delay = profile_.turnaround;
  Clock::duration pause{};
  std::size_t pauseAt = 0;
  if (fault) {
    const std::size_t size = bytes.size();
    switch (fault->kind) {
      case FaultKind::kSilence:
        return std::nullopt;
      case FaultKind::kCutShort:
        bytes.resize(std::min(fault->bytes.value_or(size / 2), size));
        break;
      case FaultKind::kTooLong:
        bytes.resize(size + fault->bytes.value_or(1), 0x00);
        break;
      case FaultKind::kNak:
        for (std::size_t i = 0; i < bytes.size() && bytes[i] == wire::kAck; ++i) bytes[i] = wire::kNak;
        break;
      case FaultKind::kGarbage:
        bytes = noise(fault->bytes.value_or(size), number_, profile_.garbageHoldsAck);
        break;
      case FaultKind::kFlip:
        if (const std::size_t at = fault->bytes.value_or(size / 2); at < size) bytes[at] ^= 0xFF;
        break;
      case FaultKind::kPause:
        pause = fault->pause;
        pauseAt = std::min(fault->bytes.value_or(size / 2), size);
        break;
      case FaultKind::kReplace:
        bytes = fault->data;
        break;
      case FaultKind::kVanish:
        out.vanishAfter = std::min(fault->bytes.value_or(size / 2), size);
        break;
      default:
        break;  // shaping kinds were applied by the command
    }
  }
  if (pause > Clock::duration::zero()) {
    out.chunks.push_back(Chunk{{}, {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(pauseAt)}});
    out.chunks.push_back(Chunk{pause, {bytes.begin() + static_cast<std::ptrdiff_t>(pauseAt), bytes.end()}});
  } else {
    out.chunks.push_back(Chunk{{}, std::move(bytes)});
  }
  ++replies_[static_cast<std::size_t>(command)];
  lastActivity_ = at + out.delay + out.duration();
  return out;
}

}  // namespace mvcomm::emulator
