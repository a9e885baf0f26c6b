// File: terminal/record_decoder.h
//
// Decoding of the data frames terminals send: the new-model stream (all
// frames back to back) and one old-model frame at a time. Every read is
// bounded by the bytes actually received: a malformed or truncated stream
// yields the whole records it holds, never bytes from beyond its end.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "terminal/datetime.h"
#include "terminal/structures.h"

namespace mvcomm::terminal {

// The record a 4-byte wire record becomes on `date`. Its cardedtime is null
// when the date or the time of day is not a real one (hour above 23,
// minute above 59): the record is kept, its time is unknown.
str_record makeRecord(std::span<const std::uint8_t> bytes, const Date& date);

// The date a date frame's three payload bytes name (year - 1900, month, day).
Date dateFromFrame(std::uint8_t year, std::uint8_t month, std::uint8_t day);

// Decodes a new-model stream of data frames into `out` (appending).
// Header frames are skipped, date frames set the date of the records that
// follow (1900-01-01 before any), record frames with control byte K carry
// K / 4 records.
void decodeNewModelStream(std::span<const std::uint8_t> stream, std::vector<str_record>& out);

// Decodes the records of one old-model record frame with control byte K
// (the frame's second byte) into `out`.
void decodeOldModelRecords(std::span<const std::uint8_t> frame, const Date& date,
                           std::vector<str_record>& out);

}  // namespace mvcomm::terminal
