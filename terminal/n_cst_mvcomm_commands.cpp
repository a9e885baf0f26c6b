// File: terminal/n_cst_mvcomm_commands.cpp
//
// Selecting a terminal (of_connect) and the three record-keeping commands
// built on it: setclock, readdata, cleardata.
#include <algorithm>

#include "terminal/frames.h"
#include "terminal/n_cst_mvcomm.h"

namespace mvcomm {

namespace {

constexpr int kSetClockAttempts = 3;
constexpr int kBaudChangeAttempts = 3;
constexpr int kClearAttempts = 3;
constexpr int kOldReadAttempts = 6;
constexpr std::chrono::milliseconds kSettleWait{1800};

// The year travels as one byte, year - 1900.
bool yearFitsWire(int year) { return year >= 1900 && year <= 2155; }

bool isAckOnly(std::span<const std::uint8_t> reply) {
  return reply.size() == terminal::kAckFrameSize && terminal::beginsWithAcks(reply);
}

}  // namespace

void n_cst_mvcomm::settleWait() {
  notify(Progress::Kind::kWaiting, 0, kSettleWait);
  clock_->sleepFor(kSettleWait);
}

bool n_cst_mvcomm::sendFrame(const std::vector<std::uint8_t>& frame) {
  // Assembled in the frame buffer, as every command is. The buffer grows on
  // first use, so an object that never talks to a terminal costs no 150 KB.
  if (iblb_buffer.size() < frame.size()) iblb_buffer.resize(std::max(kFrameBufferSize, frame.size()));
  std::copy(frame.begin(), frame.end(), iblb_buffer.begin());
  return of_sendcommand(std::span<const std::uint8_t>(iblb_buffer.data(), frame.size()),
                        static_cast<std::int32_t>(frame.size()));
}

bool n_cst_mvcomm::of_connect(std::int32_t al_machinenum) {
  auto machine = static_cast<std::uint16_t>(al_machinenum);
  if (!of_opencomm()) return false;
  if (!of_setcommstat(settingsString('S'), 0)) return false;
  if (!sendFrame(terminal::commandA2Frame())) return false;
  settleWait();
  if (!of_setcommstat(settingsString('M'), 2400)) return false;
  if (!sendFrame(terminal::addressFrame(machine))) return false;
  if (!of_setcommstat(settingsString('S'), 2400)) return false;
  if (!sendFrame(terminal::addressConfirmationFrame(machine))) return false;
  std::int32_t got = 0;
  if (!of_receivedata(iblb_buffer, got, terminal::isNewModel(al_machinenum))) return false;
  std::span<const std::uint8_t> reply(iblb_buffer.data(), static_cast<std::size_t>(got));
  if (reply.size() == terminal::kConnectReplySize && terminal::beginsWithAcks(reply)) {
    return sendFrame(terminal::ackFrame());
  }
  (void)sendFrame(terminal::rejectFrame());  // the outcome is the refusal below
  of_seterrorinfo(failed_connect_specific_machine, false);
  return false;
}

void n_cst_mvcomm::setclock(const NullableString& machinenum, const NullableDateTime& clock) try {
  std::int32_t machine = 0;
  auto clockCheck = [&] {
    if (!clock || !clock->isValid() || !yearFitsWire(clock->date.year)) {
      of_seterrorinfo(invalid_datetime, false);
      return false;
    }
    return true;
  };
  if (!checkTerminalArguments(machinenum, invalid_arguments, clockCheck, machine)) return;
  if (!of_connect(machine)) return;

  const bool newModel = terminal::isNewModel(machine);
  bool acknowledged = false;
  for (int attempt = 0; attempt < kSetClockAttempts && !acknowledged; ++attempt) {
    auto frame = terminal::setClockFrame(*clock);
    if (!sendFrame(frame)) return;
    std::int32_t got = 0;
    if (!of_receivedata(iblb_buffer, got, newModel)) return;
    acknowledged = isAckOnly({iblb_buffer.data(), static_cast<std::size_t>(got)});
  }
  of_seterrorinfo(acknowledged ? error_success : failed_set_clock, false);
} catch (...) {
  reportNoMemory();
}

void n_cst_mvcomm::readdata(const NullableString& machinenum, const NullableDate& startdate,
                            const NullableDate& enddate) try {
  std::int32_t machine = 0;
  auto dateCheck = [&] {
    for (const NullableDate& d : {startdate, enddate}) {
      if (!d || !d->isValid() || !yearFitsWire(d->year)) {
        of_seterrorinfo(invalid_datetime, false);
        return false;
      }
    }
    return true;
  };
  if (!checkTerminalArguments(machinenum, invalid_machinenum, dateCheck, machine)) return;
  if (!of_connect(machine)) return;

  Date first = *startdate;
  Date second = *enddate;
  if (first > second) std::swap(first, second);
  const bool newModel = terminal::isNewModel(machine);

  bool acknowledged = false;
  for (int attempt = 0; attempt < kBaudChangeAttempts && !acknowledged; ++attempt) {
    if (!sendFrame(terminal::baudChangeFrame(bautrate))) return;
    std::int32_t got = 0;
    if (!of_receivedata(iblb_buffer, got, newModel)) return;
    acknowledged = terminal::beginsWithAcks({iblb_buffer.data(), static_cast<std::size_t>(got)});
  }
  if (!acknowledged) {
    of_seterrorinfo(failed_alter_specific_machine_bautrate, false);
    return;
  }
  if (!of_setcommstat(settingsString('S'), bautrate)) return;

  auto readFrame = terminal::readRecordsFrame(newModel, first, second);
  std::int32_t got = 0;
  if (newModel) {
    if (!sendFrame(readFrame)) return;
    ib_newmachinereaddata = true;
    if (!of_receivedata(iblb_buffer, got, true)) return;
    std::int32_t size = got - static_cast<std::int32_t>(terminal::kAckFrameSize);
    if (size <= 0) {
      of_seterrorinfo(havent_read_data, false);
      return;
    }
    if (!of_parsedata({iblb_buffer.data() + terminal::kAckFrameSize, static_cast<std::size_t>(size)},
                      size)) {
      return;  // reported: a stream cut short or damaged
    }
  } else {
    acknowledged = false;
    for (int attempt = 0; attempt < kOldReadAttempts && !acknowledged; ++attempt) {
      if (!sendFrame(readFrame)) return;
      if (!of_receivedata(iblb_buffer, got, false)) return;
      acknowledged = terminal::beginsWithAcks({iblb_buffer.data(), static_cast<std::size_t>(got)});
    }
    if (!acknowledged) {
      of_seterrorinfo(failed_send_read_command, false);
      return;
    }
    std::int32_t size = got - static_cast<std::int32_t>(terminal::kAckFrameSize);
    std::vector<std::uint8_t> frame(iblb_buffer.begin() + terminal::kAckFrameSize,
                                    iblb_buffer.begin() + terminal::kAckFrameSize + std::max(size, 0));
    if (!of_readdatafromold(frame, size)) return;
  }
  of_seterrorinfo(error_success, false);
} catch (...) {
  reportNoMemory();
}

void n_cst_mvcomm::cleardata(const NullableString& machinenum) try {
  std::int32_t machine = 0;
  if (!checkTerminalArguments(machinenum, invalid_arguments, nullptr, machine)) return;
  if (!of_connect(machine)) return;

  const bool newModel = terminal::isNewModel(machine);
  bool acknowledged = false;
  for (int attempt = 0; attempt < kClearAttempts && !acknowledged; ++attempt) {
    if (!sendFrame(terminal::clearRecordsFrame())) return;
    std::int32_t got = 0;
    if (!of_receivedata(iblb_buffer, got, newModel)) return;
    acknowledged = terminal::beginsWithAcks({iblb_buffer.data(), static_cast<std::size_t>(got)});
  }
  if (!acknowledged) {
    of_seterrorinfo(failed_clear_data, false);
    return;
  }
  of_clearrecordset(1);
  of_seterrorinfo(error_success, false);
} catch (...) {
  reportNoMemory();
}

}  // namespace mvcomm
