// File: emulator/commands/read_records.cpp
//
// BE (new model) and AA (old model): 02 cmd 55 Y1 M1 D1 20 Y2 M2 D2 03 CRC.
// The records whose day lies in Y1-M1-D1 .. Y2-M2-D2 go out day by day: a
// header frame, then per day a date frame and record frames.
//
//   new model: ACKs + every frame in one stream; the last frame ends in EOT
//              (or, with the profile's eot=own, an empty frame of its own).
//   old model: ACKs + the header (its count = payload bytes of the record
//              frames to come); then one frame per host ACK, and finally an
//              empty frame ending in EOT once the count is used up.
//
// The endless fault sends empty record frames ending in ETX where the EOT
// frame belongs: one per host ACK (old model), or enough to fill more than
// a reception holds (new model).
#include <algorithm>

#include "emulator/terminal.h"
#include "emulator/wire.h"

namespace mvcomm::emulator {

namespace {

// An endless new-model stream stops here: past the 150000 bytes a host
// reception holds.
constexpr std::size_t kEndlessStreamBytes = 160000;

struct Frames {
  std::vector<std::vector<std::uint8_t>> list;
  std::size_t payloadBytes = 0;  // record bytes in all record frames
};

Frames buildFrames(std::vector<Record> records, std::size_t perFrame, const wire::FrameStyle& style) {
  std::stable_sort(records.begin(), records.end(),
                   [](const Record& a, const Record& b) { return a.date < b.date; });
  Frames out;
  std::size_t i = 0;
  while (i < records.size()) {
    const CivilDate day = records[i].date;
    out.list.push_back(wire::dateFrame(day, false, style));
    while (i < records.size() && records[i].date == day) {
      std::vector<std::uint8_t> payload;
      for (std::size_t n = 0; n < perFrame && i < records.size() && records[i].date == day; ++n, ++i) {
        const auto bytes = records[i].encode();
        payload.insert(payload.end(), bytes.begin(), bytes.end());
      }
      out.payloadBytes += payload.size();
      out.list.push_back(wire::recordFrame(payload, false, style));
    }
  }
  return out;
}

}  // namespace

std::optional<Transmission> Terminal::onReadRecords(Clock::time_point at) {
  const CivilDate from{1900 + frame_[3], frame_[4], frame_[5]};
  const CivilDate to{1900 + frame_[7], frame_[8], frame_[9]};
  std::vector<Record> chosen;
  for (const Record& r : records_)
    if (from <= r.date && r.date <= to) chosen.push_back(r);

  // Each model answers only its own read command.
  const bool wantsNew = frame_[1] == wire::kCmdReadNew;
  if (wantsNew != newModel()) return std::nullopt;

  const wire::FrameStyle style = frameStyle();
  if (newModel()) {
    const auto fault = takeFault(Command::kReadRecords, {FaultKind::kStopBeforeEot, FaultKind::kEndless});
    Frames frames = buildFrames(std::move(chosen), recordsPerFrame(), style);
    const auto count = static_cast<std::uint16_t>(std::min<std::size_t>(frames.payloadBytes, 0xFFFF));
    frames.list.insert(frames.list.begin(), wire::headerFrame(count, false, style));
    const bool endless = fault && fault->kind == FaultKind::kEndless;
    if (fault && fault->kind == FaultKind::kStopBeforeEot) {
      frames.list.pop_back();
    } else if (!endless && profile_.eotOwnFrame) {
      frames.list.push_back(wire::recordFrame({}, true, style));
    } else if (!endless) {
      // The last frame again, ending in EOT.
      const std::vector<std::uint8_t> last = frames.list.back();
      const std::uint8_t k = last[1];
      const std::span<const std::uint8_t> payload(last.data() + 3, last.size() - 6);
      frames.list.back() = k == wire::kHeader ? wire::headerFrame(count, true, style)
                           : k == wire::kDate ? wire::dateFrame({1900 + payload[0], payload[1], payload[2]}, true, style)
                                              : wire::recordFrame(payload, true, style);
    }
    std::vector<std::uint8_t> stream = wire::acks();
    for (const auto& f : frames.list) stream.insert(stream.end(), f.begin(), f.end());
    if (endless) {
      const auto empty = wire::recordFrame({}, false, style);
      while (stream.size() <= kEndlessStreamBytes) stream.insert(stream.end(), empty.begin(), empty.end());
    }
    auto out = reply(Command::kReadRecords, std::move(stream), fault, at);
    endTransfer();  // over once sent
    return out;
  }

  const auto fault = takeFault(Command::kReadRecords, {FaultKind::kEarlyEot});
  Frames frames = buildFrames(std::move(chosen), recordsPerFrame(), style);
  std::size_t count = frames.payloadBytes;
  if (fault && fault->kind == FaultKind::kEarlyEot) count += fault->bytes.value_or(4);
  transfer_.clear();
  transfer_.push_back(
      wire::headerFrame(static_cast<std::uint16_t>(std::min<std::size_t>(count, 0xFFFF)), false, style));
  transfer_.insert(transfer_.end(), frames.list.begin(), frames.list.end());
  transfer_.push_back(wire::recordFrame({}, true, style));
  transferActive_ = true;
  transferNext_ = 1;
  std::vector<std::uint8_t> first = wire::acks();
  first.insert(first.end(), transfer_[0].begin(), transfer_[0].end());
  return reply(Command::kReadRecords, std::move(first), fault, at);
}

std::optional<Transmission> Terminal::sendNextRecordFrame(Clock::time_point at) {
  const bool eotFrame = transferNext_ + 1 == transfer_.size();
  const auto fault = eotFrame ? takeFault(Command::kRecordFrame, {FaultKind::kStopBeforeEot, FaultKind::kEndless})
                              : takeFault(Command::kRecordFrame);
  if (fault && fault->kind == FaultKind::kStopBeforeEot) {
    endTransfer();
    return std::nullopt;
  }
  if (fault && fault->kind == FaultKind::kEndless)  // the EOT frame stays next
    return reply(Command::kRecordFrame, wire::recordFrame({}, false, frameStyle()), fault, at);
  std::vector<std::uint8_t> bytes = transfer_[transferNext_++];
  return reply(Command::kRecordFrame, std::move(bytes), fault, at);
}

}  // namespace mvcomm::emulator
