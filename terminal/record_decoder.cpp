// File: terminal/record_decoder.cpp
//
// Frame checks and the walk of the record streams. Every read is bounded by
// the bytes received.
#include "terminal/record_decoder.h"

#include <optional>
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
  const std::uint8_t end = bytes[kPayloadOffset + payload];
  if (end != kEtx && end != kEot) return FrameCheck::kDamaged;
  length = size;
  return FrameCheck::kWhole;
}

CrcFormMask dataFrameCrcForms(std::span<const std::uint8_t> frame) {
  if (frame.size() < 2) return 0;
  return fittingCrcForms(frame, dataFrameLayout(payloadSize(frame[1])));
}

Date dateFromFrame(std::uint8_t year, std::uint8_t month, std::uint8_t day) {
  return Date{1900 + year, month, day};
}

str_record makeRecord(std::span<const std::uint8_t> bytes, const Date& date) {
  str_record r;
  fillRecord(r, bytes.data(), date, date.isValid());
  return r;
}

FrameCheck decodeNewModelStream(std::span<const std::uint8_t> stream, std::vector<str_record>& out,
                                CrcEvidence& evidence) {
  evidence.reset();
  Date date{1900, 1, 1};
  bool dateValid = true;
  // The check bytes cost one CRC per frame while every frame fits the form
  // the first one showed; on the first misfit the stream is judged again,
  // every form against every frame.
  std::optional<std::size_t> candidate;
  bool fullCheck = false;
  bool ended = false;
  std::size_t p = 0;
  while (p < stream.size() && !ended) {
    std::size_t length = 0;
    const FrameCheck check = checkDataFrame(stream.subspan(p), length);
    if (check != FrameCheck::kWhole) return check;
    auto frame = stream.subspan(p, length);
    const std::uint8_t k = frame[1];
    if (!fullCheck) {
      if (!candidate) {
        const CrcFormMask fits = dataFrameCrcForms(frame);
        if (fits == 0) {
          fullCheck = true;
        } else {
          candidate = static_cast<std::size_t>(__builtin_ctz(fits));
          evidence.add(static_cast<CrcFormMask>(1u << *candidate));
        }
      } else if (crcFormFits(*candidate, frame, dataFrameLayout(payloadSize(k)))) {
        evidence.add(static_cast<CrcFormMask>(1u << *candidate));
      } else {
        fullCheck = true;
      }
    }
    if (k == kKindDate) {
      date = dateFromFrame(frame[3], frame[4], frame[5]);
      dateValid = date.isValid();
    } else if (k != kKindHeader) {
      appendRecords(frame, date, dateValid, out);
    }
    p += length;
    ended = frame[length - 3] == kEot;
  }
  if (!ended) return FrameCheck::kCutShort;  // no EOT frame: the stream stopped early
  if (fullCheck) {
    evidence.reset();
    for (std::size_t q = 0; q < p;) {
      std::size_t length = 0;
      (void)checkDataFrame(stream.subspan(q), length);  // whole: walked above
      evidence.add(dataFrameCrcForms(stream.subspan(q, length)));
      q += length;
    }
  }
  return evidence.verdict() == CrcVerdict::kDamaged ? FrameCheck::kDamaged : FrameCheck::kWhole;
}

void decodeOldModelRecords(std::span<const std::uint8_t> frame, const Date& date,
                           std::vector<str_record>& out) {
  std::size_t length = 0;
  if (checkDataFrame(frame, length) != FrameCheck::kWhole) return;
  if (frame[1] == kKindHeader || frame[1] == kKindDate) return;
  appendRecords(frame, date, date.isValid(), out);
}

}  // namespace mvcomm::terminal
