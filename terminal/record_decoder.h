// File: terminal/record_decoder.h
//
// Checking and decoding the data frames terminals send: the new-model
// stream (all frames back to back) and one old-model frame at a time.
//
// A data frame is a start byte, control byte K, one byte, L payload bytes,
// ETX (EOT in the last frame) and two check bytes. K 0xB1 is a header (L 2),
// 0xBB a date (L 3), any other K a record frame with L = K holding K / 4
// records (a remainder is padding). The start byte and the byte after K are
// not examined; the check bytes are judged over the whole transfer (see
// crc_forms.h). Only a transfer that passes these checks gives records: a
// frame damaged on the line, or the bytes of a reply that stops inside a
// frame, never become records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "terminal/crc_forms.h"
#include "terminal/datetime.h"
#include "terminal/structures.h"

namespace mvcomm::terminal {

// What the checks found.
enum class FrameCheck : std::uint8_t {
  kWhole,     // every frame complete and sound (a stream: ending in EOT)
  kCutShort,  // the bytes stop inside a frame (a stream: or before its EOT frame)
  kDamaged,   // a frame has no ETX / EOT where its K puts the end byte, or
              // does not fit the check the transfer's other frames carry
};

// The structure of the data frame at the start of `bytes`: whole when its K
// says how long it is and an end byte stands there. kWhole sets `length`
// (L + 6); bytes after the frame are not looked at. The check bytes are not
// judged here.
FrameCheck checkDataFrame(std::span<const std::uint8_t> bytes, std::size_t& length);

// The forms of check that the whole data frame at the start of `frame`
// fits (see crc_forms.h).
CrcFormMask dataFrameCrcForms(std::span<const std::uint8_t> frame);

// The record a 4-byte wire record becomes on `date`. Its cardedtime is null
// when the date or the time of day is not a real one (hour above 23,
// minute above 59): the record is kept, its time is unknown.
str_record makeRecord(std::span<const std::uint8_t> bytes, const Date& date);

// The date a date frame's three payload bytes name (year - 1900, month, day).
Date dateFromFrame(std::uint8_t year, std::uint8_t month, std::uint8_t day);

// Checks a new-model stream frame by frame up to its EOT frame and appends
// the records of every whole frame to `out` (the caller drops them unless
// the result is kWhole). Header frames are skipped, date frames set the
// date of the records that follow (1900-01-01 before any). Bytes after the
// EOT frame are ignored. `evidence` gets the check bytes of the stream's
// frames; a stream whose frames fit the terminal's form except some is
// kDamaged, one whose form is unknown kWhole (evidence.verdict() says so).
FrameCheck decodeNewModelStream(std::span<const std::uint8_t> stream, std::vector<str_record>& out,
                                CrcEvidence& evidence);
inline FrameCheck decodeNewModelStream(std::span<const std::uint8_t> stream, std::vector<str_record>& out) {
  CrcEvidence evidence;
  return decodeNewModelStream(stream, out, evidence);
}

// Appends the K / 4 records of one old-model record frame, already checked
// by checkDataFrame, to `out`.
void decodeOldModelRecords(std::span<const std::uint8_t> frame, const Date& date,
                           std::vector<str_record>& out);

}  // namespace mvcomm::terminal
