// File: terminal/n_cst_mvcomm_records.cpp
//
// The record set: decoding what readdata received (one new-model stream,
// or old-model frames fetched one by one), emptying the sets, and the
// one-row cursors of moverecord.
#include <algorithm>

#include "terminal/crc_forms.h"
#include "terminal/frames.h"
#include "terminal/n_cst_mvcomm.h"
#include "terminal/record_decoder.h"

namespace mvcomm {

void n_cst_mvcomm::of_clearrecordset(std::int32_t al_flag) {
  if (al_flag == 1) {
    rsrows = 0;
    rsemployeeid = 0;
    rsworkclass.clear();
    rscardedtime = DateTime{};
    istr_records.clear();
  } else {
    rtrows = 0;
    rtemployeeid = 0;
    rtcardid = 0;
    istr_refertable.clear();
    ib_rtbuferinit = false;
  }
}

namespace {

// An old-model header counts the payload bytes of the record frames to
// come (16 bits: at most 65535). An honest transfer sends no more than the
// header, a date frame and a record frame per record, and the EOT frame; a
// terminal that goes on sending past that would keep the host reading for
// ever. Without a header the largest count stands in.
std::int64_t oldModelFrameBudget(std::int64_t countBytes) {
  return 2 + 2 * ((countBytes + 3) / static_cast<std::int64_t>(terminal::kRecordSize));
}

}  // namespace

bool n_cst_mvcomm::receptionSound(terminal::FrameCheck check) {
  switch (check) {
    case terminal::FrameCheck::kWhole:
      return true;
    case terminal::FrameCheck::kCutShort:
      of_seterrorinfo(havent_read_data, false);
      return false;
    case terminal::FrameCheck::kDamaged:
      of_seterrorinfo(failed_parse_data, false);
      return false;
  }
  return false;
}

void n_cst_mvcomm::noteCrc(const terminal::CrcEvidence& evidence) {
  if (evidence.frames() == 0) return;
  const auto form = evidence.form();
  crcFindings_.form = form ? std::string(terminal::crcFormName(*form)) : std::string();
  const bool checked = form && crcFindings_.form != "zero";
  crcFindings_.state = checked ? CrcFindings::State::kChecked : CrcFindings::State::kUnchecked;
}

bool n_cst_mvcomm::of_parsedata(std::span<const std::uint8_t> ablb_buffer,
                                std::int32_t al_buffersize) {
  if (ablb_buffer.empty() || al_buffersize <= 0) {
    of_seterrorinfo(failed_parse_data, false);
    return false;
  }
  of_clearrecordset(1);
  auto size = std::min(ablb_buffer.size(), static_cast<std::size_t>(al_buffersize));
  std::vector<str_record> decoded;
  // A stream that stops before its EOT frame, or holds a damaged frame,
  // may lack records: none of it is taken, so that no caller clears a
  // terminal after a partial read.
  terminal::CrcEvidence evidence;
  const terminal::FrameCheck check = terminal::decodeNewModelStream(ablb_buffer.first(size), decoded, evidence);
  if (check == terminal::FrameCheck::kWhole) noteCrc(evidence);
  if (!receptionSound(check)) return false;
  istr_records = std::move(decoded);
  if (istr_records.empty()) {
    of_seterrorinfo(havent_read_data, false);
  } else {
    rsrows = static_cast<std::int32_t>(istr_records.size());
  }
  return true;
}

bool n_cst_mvcomm::of_readdatafromold(std::vector<std::uint8_t>& ablb_buffer,
                                      std::int32_t al_buffersize) {
  if (ablb_buffer.empty() || al_buffersize <= 0) {
    of_seterrorinfo(havent_read_data, false);
    return false;
  }
  of_clearrecordset(1);
  std::vector<str_record> collected;
  std::int32_t remaining = 0;
  Date date{1900, 1, 1};
  bool done = false;
  std::int32_t size = std::min(al_buffersize, static_cast<std::int32_t>(ablb_buffer.size()));
  std::int32_t frames = 0;
  std::int64_t budget = oldModelFrameBudget(0xFFFF);
  bool counted = false;  // a header has given the count
  terminal::CrcEvidence evidence;  // judged once the transfer has ended
  for (;;) {
    if (size <= 0) break;
    std::span<const std::uint8_t> frame(ablb_buffer.data(), static_cast<std::size_t>(size));
    notify(Progress::Kind::kOldFrame, ++frames);
    // A frame cut short or damaged is not acknowledged: its records would
    // be lost, or wrong.
    std::size_t length = 0;
    if (!receptionSound(terminal::checkDataFrame(frame, length))) return false;
    const bool endsWithEot = frame[length - 3] == terminal::kEot;
    const std::uint8_t k = frame[1];
    const bool recordFrame = k != terminal::kKindHeader && k != terminal::kKindDate;
    // Records past the header's count are a frame sent twice (a repeat
    // after a lost ACK) or not meant for us: duplicates or strangers.
    if (counted && recordFrame && !(endsWithEot && remaining <= 0) && k > remaining) {
      of_seterrorinfo(failed_parse_data, false);
      return false;
    }
    evidence.add(terminal::dataFrameCrcForms(frame.first(length)));
    if (!sendFrame(terminal::ackFrame())) return false;
    if (endsWithEot && remaining <= 0) {
      done = true;
      break;
    }
    if (k == terminal::kKindHeader) {
      remaining = frame[3] * 256 + frame[4];
      counted = true;
      if (frames == 1) budget = oldModelFrameBudget(remaining);
    } else if (k == terminal::kKindDate) {
      date = terminal::dateFromFrame(frame[3], frame[4], frame[5]);
    } else {
      terminal::decodeOldModelRecords(frame.first(length), date, collected);
      remaining -= k;
    }
    if (frames >= budget) break;  // the transfer does not end: as if silent
    if (!of_receivedata(ablb_buffer, size, false)) return false;
  }
  if (!done) {
    of_seterrorinfo(havent_read_data, false);
    return false;
  }
  noteCrc(evidence);
  if (!receptionSound(evidence.verdict() == terminal::CrcVerdict::kDamaged ? terminal::FrameCheck::kDamaged
                                                                           : terminal::FrameCheck::kWhole)) {
    return false;
  }
  istr_records = std::move(collected);
  rsrows = static_cast<std::int32_t>(istr_records.size());
  return true;
}

void n_cst_mvcomm::moverecord(std::int32_t numrecord, std::int32_t flag) try {
  if (flag != 1 && flag != 2) {
    of_seterrorinfo(invalid_settings, false);
    return;
  }
  std::int32_t count = flag == 1 ? rsrows : rtrows;
  if (count <= 0) {
    of_seterrorinfo(no_record, false);
    return;
  }
  if (numrecord <= 0) {
    if (flag == 1) {
      rsemployeeid = 0;
      rsworkclass.clear();
      rscardedtime.reset();
    } else {
      rtemployeeid = 0;
      rtcardid = 0;
    }
    return;
  }
  if (numrecord > count) numrecord = count;
  auto row = static_cast<std::size_t>(numrecord - 1);
  if (flag == 1) {
    if (row >= istr_records.size()) {  // cannot happen: rsrows counts the rows
      of_seterrorinfo(no_record, false);
      return;
    }
    const str_record& r = istr_records[row];
    rsemployeeid = r.employeeid;
    rsworkclass = r.workclass;
    rscardedtime = r.cardedtime;
  } else {
    if (row >= istr_refertable.size()) {
      of_seterrorinfo(no_record, false);
      return;
    }
    const str_referrecord& r = istr_refertable[row];
    rtemployeeid = r.employeeid;
    rtcardid = r.cardid;
  }
  of_seterrorinfo(error_success, false);
} catch (...) {
  reportNoMemory();
}

}  // namespace mvcomm
