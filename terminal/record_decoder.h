// File: terminal/record_decoder.h
//
// Checking and decoding the data frames terminals send: the new-model
// stream (all frames back to back) and one old-model frame at a time.
//
// A data frame is STX, control byte K, one byte, L payload bytes, ETX (EOT
// in the last frame), and the CRC-16 of everything before it, low byte
// first, as on every frame of this line. K 0xB1 is a header (L 2), 0xBB a
// date (L 3), any other K a record frame with L = K, a whole number of
// 4-byte records. Only frames that pass these checks give records: a frame
// damaged on the line, or the bytes of a reply that stops inside a frame,
// never become records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "terminal/datetime.h"
#include "terminal/structures.h"

namespace mvcomm::terminal {

// What the checks found.
enum class FrameCheck : std::uint8_t {
  kWhole,     // every frame complete and sound (a stream: ending in EOT)
  kCutShort,  // the bytes stop inside a frame (a stream: or before its EOT frame)
  kDamaged,   // a frame fails its checks: end byte, CRC, or a K that is no
              // whole number of records
};

// The data frame at the start of `bytes`. kWhole sets `length` (L + 6);
// bytes after the frame are not looked at.
FrameCheck checkDataFrame(std::span<const std::uint8_t> bytes, std::size_t& length);

// The record a 4-byte wire record becomes on `date`. Its cardedtime is null
// when the date or the time of day is not a real one (hour above 23,
// minute above 59): the record is kept, its time is unknown.
str_record makeRecord(std::span<const std::uint8_t> bytes, const Date& date);

// The date a date frame's three payload bytes name (year - 1900, month, day).
Date dateFromFrame(std::uint8_t year, std::uint8_t month, std::uint8_t day);

// Checks a new-model stream frame by frame up to its EOT frame and appends
// the records of every sound frame to `out` (the caller drops them unless
// the result is kWhole). Header frames are skipped, date frames set the
// date of the records that follow (1900-01-01 before any). Bytes after the
// EOT frame are ignored.
FrameCheck decodeNewModelStream(std::span<const std::uint8_t> stream, std::vector<str_record>& out);

// Appends the K / 4 records of one old-model record frame, already checked
// by checkDataFrame, to `out`.
void decodeOldModelRecords(std::span<const std::uint8_t> frame, const Date& date,
                           std::vector<str_record>& out);

}  // namespace mvcomm::terminal
