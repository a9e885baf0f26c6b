// File: terminal/n_cst_mvcomm.cpp
//
// Construction, the default environment, outcome reporting, the common
// argument checks and the small bit functions of the terminal class.
#include "terminal/n_cst_mvcomm.h"

#include <cerrno>
#include <mutex>

#include "platform/serial/termios_port.h"
#include "terminal/frames.h"
#include "terminal/machine_number.h"
#include "terminal/messages.h"

namespace mvcomm {

namespace {

std::mutex gEnvironmentLock;
n_cst_mvcomm::Environment gEnvironment;  // members null: the built-in defaults

n_cst_mvcomm::Environment builtInEnvironment() {
  static auto opener = std::make_shared<serial::TermiosPortOpener>();
  static std::shared_ptr<Clock> clock(&MonotonicClock::instance(), [](Clock*) {});
  return {opener, clock};
}

}  // namespace

n_cst_mvcomm::Environment n_cst_mvcomm::defaultEnvironment() {
  Environment env;
  {
    std::lock_guard lock(gEnvironmentLock);
    env = gEnvironment;
  }
  Environment builtIn = builtInEnvironment();
  if (!env.opener) env.opener = builtIn.opener;
  if (!env.clock) env.clock = builtIn.clock;
  return env;
}

n_cst_mvcomm::Environment n_cst_mvcomm::setDefaultEnvironment(Environment env) {
  std::lock_guard lock(gEnvironmentLock);
  std::swap(env, gEnvironment);
  return env;
}

n_cst_mvcomm::n_cst_mvcomm() : n_cst_mvcomm(nullptr, nullptr) {}

n_cst_mvcomm::n_cst_mvcomm(std::shared_ptr<serial::PortOpener> opener, std::shared_ptr<Clock> clock)
    : opener_(std::move(opener)), clock_(std::move(clock)) {
  if (!opener_ || !clock_) {
    Environment env = defaultEnvironment();
    if (!opener_) opener_ = env.opener;
    if (!clock_) clock_ = env.clock;
  }
  il_hcomm = invalid_handle_value;
}

n_cst_mvcomm::~n_cst_mvcomm() {
  if (il_hcomm != invalid_handle_value && port_) (void)port_->close();
}

void n_cst_mvcomm::of_seterrorinfo(std::int32_t al_errorcode, bool ab_apierror) {
  if (ab_apierror) {
    errorcode = lastOsError_;
    errormessage = terminal::apiErrorMessage(lastOsError_);
  } else {
    errormessage = std::string(terminal::messageForCode(al_errorcode));
    errorcode = al_errorcode == 0 ? 0 : 20000 + al_errorcode;
  }
  if (il_hcomm != invalid_handle_value) {
    if (port_) (void)port_->close();  // result ignored: the outcome is already decided
    port_.reset();
    il_hcomm = invalid_handle_value;
  }
}

void n_cst_mvcomm::reportNoMemory() noexcept {
  // The port first: closing it allocates nothing.
  if (port_) (void)port_->close();
  port_.reset();
  il_hcomm = invalid_handle_value;
  lastOsError_ = ENOMEM;
  errorcode = ENOMEM;
  try {
    errormessage = terminal::apiErrorMessage(ENOMEM);
  } catch (...) {
    errormessage.clear();
  }
}

bool n_cst_mvcomm::failOs(int error) {
  lastOsError_ = error;
  of_seterrorinfo(0, true);
  return false;
}

bool n_cst_mvcomm::of_checksettings() {
  if (commport <= 0) {
    of_seterrorinfo(invalid_commport, false);
    return false;
  }
  if (bautrate <= 0) {
    of_seterrorinfo(invalid_bautrate, false);
    return false;
  }
  return true;
}

bool n_cst_mvcomm::checkTerminalArguments(const NullableString& machinenum,
                                          std::int16_t notNumberCode,
                                          const std::function<bool()>& middleCheck,
                                          std::int32_t& number) {
  crcFindings_ = CrcFindings{};
  using terminal::MachineNumberText;
  MachineNumberText kind =
      machinenum ? terminal::parseMachineNumber(*machinenum, number) : MachineNumberText::kNotANumber;
  if (kind == MachineNumberText::kNotANumber) {
    of_seterrorinfo(notNumberCode, false);
    return false;
  }
  if (middleCheck && !middleCheck()) return false;
  if (kind != MachineNumberText::kValid) {
    of_seterrorinfo(invalid_machinenum, false);
    return false;
  }
  return of_checksettings();
}

std::uint8_t n_cst_mvcomm::of_xor(std::uint8_t ac_arg1, std::uint8_t ac_arg2) {
  return static_cast<std::uint8_t>(ac_arg1 ^ ac_arg2);
}

std::uint16_t n_cst_mvcomm::of_inverse(std::uint16_t aui_arg) { return terminal::inverse16(aui_arg); }

bool n_cst_mvcomm::of_buildcrc(std::vector<std::uint8_t>& ablb_buffer, std::int32_t& al_buffersize) {
  if (ablb_buffer.empty() || al_buffersize <= 0 ||
      static_cast<std::size_t>(al_buffersize) > ablb_buffer.size()) {
    of_seterrorinfo(failed_build_crc, false);
    return false;
  }
  // The two bytes go right after the first al_buffersize bytes; any bytes
  // past them in a larger buffer stay.
  const auto end = static_cast<std::size_t>(al_buffersize);
  const std::array<std::uint8_t, 2> crc = terminal::crcBytes({ablb_buffer.data(), end});
  if (ablb_buffer.size() < end + 2) ablb_buffer.resize(end + 2);
  ablb_buffer[end] = crc[0];
  ablb_buffer[end + 1] = crc[1];
  al_buffersize += 2;
  return true;
}

void n_cst_mvcomm::notify(Progress::Kind kind, std::int32_t count, Clock::duration wait) {
  if (progress_) progress_(Progress{kind, count, wait});
}

}  // namespace mvcomm
