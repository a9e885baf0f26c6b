// File: terminal/n_cst_mvcomm_refertable.cpp
//
// The reference table: building it in memory (rtbeginwrite,
// rtwriterecord) and moving it to and from a terminal in 16-byte blocks
// (writerefertable, readrefertable). Table transfers select the terminal
// with the table address frame instead of of_connect.
#include <algorithm>

#include "terminal/crc_forms.h"
#include "terminal/frames.h"
#include "terminal/n_cst_mvcomm.h"
#include "terminal/refer_image.h"

namespace mvcomm {

namespace {

constexpr std::size_t kBlockReplyDataOffset = 2;  // block data starts at reply byte 3
constexpr std::size_t kReadImageSize = 20000;     // read working buffer

}  // namespace

void n_cst_mvcomm::rtbeginwrite(std::int32_t recordcount) try {
  // More rows than kMaxBlocks blocks can carry would be cut off by the
  // transfer while it reports success.
  if (recordcount <= 0 || recordcount > terminal::kMaxReferRows) {
    of_seterrorinfo(invalid_arguments, false);
    return;
  }
  of_clearrecordset(2);
  istr_refertable.assign(static_cast<std::size_t>(recordcount), str_referrecord{});
  rtrows = recordcount;
  ib_rtbuferinit = true;
  of_seterrorinfo(error_success, false);
} catch (...) {
  reportNoMemory();
}

void n_cst_mvcomm::rtwriterecord(std::int32_t numrecord, std::int32_t employeeid,
                                 std::int32_t cardid) try {
  if (!ib_rtbuferinit) {
    of_seterrorinfo(refertable_no_init, false);
    return;
  }
  if (numrecord <= 0 || numrecord > rtrows ||
      static_cast<std::size_t>(numrecord) > istr_refertable.size()) {
    of_seterrorinfo(invalid_record_number, false);
    return;
  }
  istr_refertable[static_cast<std::size_t>(numrecord - 1)] = {employeeid, cardid};
  of_seterrorinfo(error_success, false);
} catch (...) {
  reportNoMemory();
}

// Opens the port, sends the table address (mark parity) and, after the
// settle pause, the table open frame. A failure has been reported and has
// closed the port.
bool n_cst_mvcomm::selectForTable(std::int32_t machine) {
  auto number = static_cast<std::uint16_t>(machine);
  if (!of_opencomm()) return false;
  if (!of_setcommstat(settingsString('M'), 2400)) return false;
  if (!sendFrame(terminal::tableAddressFrame(number))) return false;
  settleWait();
  if (!of_setcommstat(settingsString('S'), 2400)) return false;
  return sendFrame(terminal::tableOpenFrame());
}

void n_cst_mvcomm::readrefertable(const NullableString& machinenum) try {
  std::int32_t machine = 0;
  if (!checkTerminalArguments(machinenum, invalid_arguments, nullptr, machine)) return;
  if (!selectForTable(machine)) return;

  std::vector<std::uint8_t> image;
  image.reserve(kReadImageSize);
  bool ended = false;
  terminal::CrcEvidence evidence;  // judged once the table has ended
  for (std::int32_t n = 1; n <= terminal::kMaxBlocks; ++n) {
    if (!sendFrame(terminal::readBlockFrame(n))) return;
    std::int32_t got = 0;
    if (!of_receivedata(iblb_buffer, got, false)) return;
    // Silence, or a reply that stops before the block's 16 bytes, ends the
    // transfer with the table in memory as it was: its rows would be lost.
    std::span<const std::uint8_t> reply(iblb_buffer.data(), static_cast<std::size_t>(got));
    if (reply.size() < kBlockReplyDataOffset + terminal::kBlockDataSize) break;
    evidence.add(terminal::fittingCrcForms(reply, terminal::blockReplyLayout()));
    auto data = reply.subspan(kBlockReplyDataOffset, terminal::kBlockDataSize);
    if (data[0] == 0xFF && data[1] == 0xFF && data[2] == 0xFF && data[3] == 0xFF) {
      ended = true;
      break;
    }
    image.insert(image.end(), data.begin(), data.end());
    notify(Progress::Kind::kReferBlock, n);
    if (n == terminal::kMaxBlocks) ended = true;
  }
  noteCrc(evidence);
  // A block that does not fit the check the others carry came damaged: its
  // rows would be wrong.
  ended = ended && evidence.verdict() != terminal::CrcVerdict::kDamaged;
  if (ended) {
    of_clearrecordset(2);
    istr_refertable = terminal::parseReferImage(image);
    rtrows = static_cast<std::int32_t>(istr_refertable.size());
  }
  if (!sendFrame(terminal::commandA2Frame())) return;
  of_seterrorinfo(ended ? error_success : failed_read_refertable, false);
} catch (...) {
  reportNoMemory();
}

void n_cst_mvcomm::writerefertable(const NullableString& machinenum) try {
  std::int32_t machine = 0;
  if (!checkTerminalArguments(machinenum, invalid_arguments, nullptr, machine)) return;
  if (rtrows <= 0) {
    of_seterrorinfo(no_record_in_refertable, false);
    return;
  }
  // A serial failure reports itself and closes the port: its error is the
  // outcome, and there is no closing sequence to send.
  if (!selectForTable(machine)) return;
  auto rows = std::span<const str_referrecord>(istr_refertable)
                  .first(std::min(istr_refertable.size(), static_cast<std::size_t>(rtrows)));
  std::vector<std::uint8_t> image = terminal::buildReferImage(rows);
  // E: the position after the image's last byte, counting from 1.
  const std::size_t end = image.size() + 1;
  bool success = true;
  for (std::int32_t n = 1; n <= terminal::kMaxBlocks; ++n) {
    std::size_t from = terminal::kBlockDataSize * static_cast<std::size_t>(n - 1);
    if (from > end) break;
    std::uint8_t block[terminal::kBlockDataSize] = {};
    for (std::size_t i = 0; i < terminal::kBlockDataSize && from + i < image.size(); ++i) {
      block[i] = image[from + i];
    }
    if (!sendFrame(terminal::writeBlockFrame(n, block))) return;
    std::int32_t got = 0;
    if (!of_receivedata(iblb_buffer, got, false)) return;
    // What a terminal answers to a stored block is not fixed (five ACKs,
    // one, an echo...): only silence or a refusal (NAK first) says the block
    // was not taken.
    if (got <= 0 || iblb_buffer[0] == terminal::kNak) {
      success = false;
      break;
    }
    notify(Progress::Kind::kReferBlock, n);
  }
  settleWait();
  if (!sendFrame(terminal::commandA2Frame())) return;
  of_seterrorinfo(success ? error_success : failed_write_refertable, false);
} catch (...) {
  reportNoMemory();
}

}  // namespace mvcomm
