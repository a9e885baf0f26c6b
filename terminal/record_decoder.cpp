// File: terminal/record_decoder.cpp
//
// Frame walk of the record streams. A record frame's position after it is
// computed exactly as the terminal's frame layout implies for any control
// byte, so a stream with odd K values is followed the same way wherever it
// leads; only whole records inside the received bytes are decoded.
#include "terminal/record_decoder.h"

#include <string>

#include "terminal/frames.h"

namespace mvcomm::terminal {

namespace {

// Record slots a record frame with control byte K steps over: the payload
// starts at offset 3 and slots are taken while they start before K + 2.
std::size_t slotsOf(std::uint8_t k) { return k >= 1 ? (static_cast<std::size_t>(k) + 2) / 4 : 0; }

// The record at `bytes` on a date already checked (`dateValid`).
str_record recordOn(const std::uint8_t* bytes, const Date& date, bool dateValid) {
  str_record r;
  r.employeeid = bytes[0] << 8 | bytes[1];
  r.workclass.assign(1, static_cast<char>('1' + (bytes[2] >> 5)));
  int hour = bytes[2] & 0x1F;
  int minute = bytes[3] & 0x3F;
  if (dateValid && hour <= 23 && minute <= 59) r.cardedtime = DateTime{date, hour, minute, 0};
  return r;
}

void decodeRecords(std::span<const std::uint8_t> bytes, std::size_t payload, std::uint8_t k,
                   const Date& date, bool dateValid, std::vector<str_record>& out) {
  // Only K / 4 whole records are payload; a partial slot holds frame trailer.
  std::size_t count = std::min<std::size_t>(k / kRecordSize, slotsOf(k));
  if (payload < bytes.size()) count = std::min(count, (bytes.size() - payload) / kRecordSize);
  else count = 0;
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(recordOn(bytes.data() + payload + i * kRecordSize, date, dateValid));
  }
}

}  // namespace

Date dateFromFrame(std::uint8_t year, std::uint8_t month, std::uint8_t day) {
  return Date{1900 + year, month, day};
}

str_record makeRecord(std::span<const std::uint8_t> bytes, const Date& date) {
  return recordOn(bytes.data(), date, date.isValid());
}

void decodeNewModelStream(std::span<const std::uint8_t> stream, std::vector<str_record>& out) {
  Date date{1900, 1, 1};
  bool dateValid = true;
  std::size_t p = 0;
  const std::size_t size = stream.size();
  while (p + 1 < size) {
    std::uint8_t k = stream[p + 1];
    if (k == kKindHeader) {
      p += 8;
    } else if (k == kKindDate) {
      if (p + 5 < size) {
        date = dateFromFrame(stream[p + 3], stream[p + 4], stream[p + 5]);
        dateValid = date.isValid();
      }
      p += 9;
    } else {
      decodeRecords(stream, p + 3, k, date, dateValid, out);
      p += 3 + kRecordSize * slotsOf(k) + 3;
    }
  }
}

void decodeOldModelRecords(std::span<const std::uint8_t> frame, const Date& date,
                           std::vector<str_record>& out) {
  if (frame.size() < 2) return;
  decodeRecords(frame, 3, frame[1], date, date.isValid(), out);
}

}  // namespace mvcomm::terminal
