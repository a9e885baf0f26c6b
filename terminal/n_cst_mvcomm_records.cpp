// File: terminal/n_cst_mvcomm_records.cpp
//
// The record set: decoding what readdata received (one new-model stream,
// or old-model frames fetched one by one), emptying the sets, and the
// one-row cursors of moverecord.
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

bool n_cst_mvcomm::of_parsedata(std::span<const std::uint8_t> ablb_buffer,
                                std::int32_t al_buffersize) {
  if (ablb_buffer.empty() || al_buffersize <= 0) return false;
  of_clearrecordset(1);
  auto size = std::min(ablb_buffer.size(), static_cast<std::size_t>(al_buffersize));
  terminal::decodeNewModelStream(ablb_buffer.first(size), istr_records);
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
  for (;;) {
    if (size <= 0) break;
    std::span<const std::uint8_t> frame(ablb_buffer.data(), static_cast<std::size_t>(size));
    notify(Progress::Kind::kOldFrame, ++frames);
    // A reply of one or two bytes has no end byte and no control byte.
    const bool endsWithEot = size >= 3 && frame[static_cast<std::size_t>(size) - 3] == terminal::kEot;
    if (!sendFrame(terminal::ackFrame())) return false;
    if (endsWithEot && remaining <= 0) {
      done = true;
      break;
    }
    if (size >= 2) {
      std::uint8_t k = frame[1];
      if (k == terminal::kKindHeader) {
        if (size >= 5) remaining = frame[3] * 256 + frame[4];
      } else if (k == terminal::kKindDate) {
        if (size >= 6) date = terminal::dateFromFrame(frame[3], frame[4], frame[5]);
      } else {
        terminal::decodeOldModelRecords(frame, date, collected);
        remaining -= k;
      }
    }
    if (!of_receivedata(ablb_buffer, size, false)) return false;
  }
  if (!done) {
    of_seterrorinfo(havent_read_data, false);
    return false;
  }
  istr_records = std::move(collected);
  rsrows = static_cast<std::int32_t>(istr_records.size());
  return true;
}

void n_cst_mvcomm::moverecord(std::int32_t numrecord, std::int32_t flag) {
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
}

}  // namespace mvcomm
