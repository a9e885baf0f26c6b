// File: terminal/record_decoder.cpp
//
// Frame checks and the walk of the record streams. Every read is bounded by
// the bytes received.
#include "terminal/record_decoder.h"

#include <string>

#include "terminal/frames.h"

namespace mvcomm::terminal {

namespace {

constexpr std::size_t kPayloadOffset = 3;   // STX, K, one byte
constexpr std::size_t kFrameOverhead = 6;   // those three, end byte, CRC

// Fills `r` with the record at `bytes` on a date already checked
// (`dateValid`).
void fillRecord(str_record& r, const std::uint8_t* bytes, const Date& date, bool dateValid) {
  r.employeeid = bytes[0] << 8 | bytes[1];
  r.workclass.assign(1, static_cast<char>('1' + (bytes[2] >> 5)));
  int hour = bytes[2] & 0x1F;
  int minute = bytes[3] & 0x3F;
  if (dateValid && hour <= 23 && minute <= 59) r.cardedtime = DateTime{date, hour, minute, 0};
}

std::size_t payloadSize(std::uint8_t k) {
  if (k == kKindHeader) return 2;
  if (k == kKindDate) return 3;
  return k;
}

void appendRecords(std::span<const std::uint8_t> frame, const Date& date, bool dateValid,
                   std::vector<str_record>& out) {
  const std::size_t count = frame[1] / kRecordSize;
  // Built in place: a full stream holds some 37000 records.
  for (std::size_t i = 0; i < count; ++i) {
    fillRecord(out.emplace_back(), frame.data() + kPayloadOffset + i * kRecordSize, date, dateValid);
  }
}

}  // namespace

FrameCheck checkDataFrame(std::span<const std::uint8_t> bytes, std::size_t& length) {
  if (bytes.size() < 2) return FrameCheck::kCutShort;
  const std::uint8_t k = bytes[1];
  const std::size_t payload = payloadSize(k);
  const std::size_t size = payload + kFrameOverhead;
  if (bytes.size() < size) return FrameCheck::kCutShort;
  const bool records = k != kKindHeader && k != kKindDate;
  if (records && k % kRecordSize != 0) return FrameCheck::kDamaged;
  const std::uint8_t end = bytes[kPayloadOffset + payload];
  if (end != kEtx && end != kEot) return FrameCheck::kDamaged;
  const std::uint16_t crc = crc16(bytes.first(size - 2));
  if (bytes[size - 2] != (crc & 0xFF) || bytes[size - 1] != (crc >> 8)) return FrameCheck::kDamaged;
  length = size;
  return FrameCheck::kWhole;
}

Date dateFromFrame(std::uint8_t year, std::uint8_t month, std::uint8_t day) {
  return Date{1900 + year, month, day};
}

str_record makeRecord(std::span<const std::uint8_t> bytes, const Date& date) {
  str_record r;
  fillRecord(r, bytes.data(), date, date.isValid());
  return r;
}

FrameCheck decodeNewModelStream(std::span<const std::uint8_t> stream, std::vector<str_record>& out) {
  Date date{1900, 1, 1};
  bool dateValid = true;
  std::size_t p = 0;
  while (p < stream.size()) {
    std::size_t length = 0;
    const FrameCheck check = checkDataFrame(stream.subspan(p), length);
    if (check != FrameCheck::kWhole) return check;
    auto frame = stream.subspan(p, length);
    const std::uint8_t k = frame[1];
    if (k == kKindDate) {
      date = dateFromFrame(frame[3], frame[4], frame[5]);
      dateValid = date.isValid();
    } else if (k != kKindHeader) {
      appendRecords(frame, date, dateValid, out);
    }
    if (frame[length - 3] == kEot) return FrameCheck::kWhole;
    p += length;
  }
  return FrameCheck::kCutShort;  // no EOT frame: the stream stopped early
}

void decodeOldModelRecords(std::span<const std::uint8_t> frame, const Date& date,
                           std::vector<str_record>& out) {
  std::size_t length = 0;
  if (checkDataFrame(frame, length) != FrameCheck::kWhole) return;
  if (frame[1] == kKindHeader || frame[1] == kKindDate) return;
  appendRecords(frame, date, date.isValid(), out);
}

}  // namespace mvcomm::terminal
