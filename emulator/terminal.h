// File: emulator/terminal.h
//
// One card terminal as the host sees it from the line. Sections:
//   - the world's side: records, reference table, clock, faults, settings
//   - the line's side: hear() takes every byte on the line and may answer
//   - command handlers (one file each under emulator/commands/)
//
// A terminal ignores the line until its own number arrives as a mark-parity
// address frame: 02 HI LO followed by the address confirmation opens a
// command session, HI LO xx followed by B0 00 opens a table session. It
// hears only bytes sent at its own rate (2450 until a baud change), answers
// after its turnaround delay, and falls back to idle when a record transfer
// has ended or the line has been quiet for the session time-out. The
// time-out outlasts the host's 5000 ms wait for a first byte, so a retry
// after a lost reply still reaches the terminal. When a terminal left at a
// changed rate comes back to 2450, and everything else the protocol leaves
// open, its DeviceProfile decides.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "emulator/civil_time.h"
#include "emulator/device_profile.h"
#include "emulator/fault.h"
#include "emulator/line_byte.h"
#include "emulator/record.h"
#include "emulator/transmission.h"
#include "emulator/wire.h"
#include "platform/clock.h"

namespace mvcomm::emulator {

class Terminal {
 public:
  static constexpr std::uint32_t kBaseRate = 2450;
  static constexpr std::size_t kNewModelRecordsPerFrame = 60;   // K = 240
  static constexpr std::size_t kOldModelRecordsPerFrame = 32;   // K = 128: frames stay under 206
  static constexpr Clock::duration kDefaultTurnaround = DeviceProfile{}.turnaround;
  static constexpr Clock::duration kDefaultSessionTimeout = std::chrono::milliseconds(6000);

  explicit Terminal(std::uint16_t number);

  std::uint16_t number() const { return number_; }

  // Numbers up to 10000 except 2001 are new-model terminals; 2001 and
  // 10001 to 65535 are old-model ones.
  static bool isNewModel(std::uint16_t number) { return number <= 10000 && number != 2001; }
  bool newModel() const { return isNewModel(number_); }

  // --- The world's side ---------------------------------------------------

  // Stores a record. Returns false (and stores nothing) when a field does
  // not fit on the wire (see Record::encodable).
  [[nodiscard]] bool addRecord(const Record& record);
  const std::vector<Record>& records() const { return records_; }
  void clearRecords() { records_.clear(); }

  // Replaces the table with these rows (image FF FF, then 6 bytes per row).
  void setReferenceTable(std::span<const ReferenceRow> rows);
  // The whole rows of the image up to the end of what was last stored
  // (by setReferenceTable or the host's block writes).
  std::vector<ReferenceRow> referenceTable() const;
  // The raw image, 1092 blocks of 16 bytes; erased bytes are FF.
  const std::vector<std::uint8_t>& tableImage() const { return image_; }

  // The terminal's clock: unset until set here or by the host.
  void setClock(const CivilDateTime& value, Clock::time_point now);
  std::optional<CivilDateTime> clockAt(Clock::time_point now) const;

  // Faults hit later replies in the order injected (see fault.h).
  void inject(const Fault& fault) { faults_.push_back(fault); }
  void clearFaults() { faults_.clear(); }
  std::size_t pendingFaults() const { return faults_.size(); }

  // The choices where the protocol leaves a terminal's behaviour open.
  void setProfile(const DeviceProfile& profile) { profile_ = profile; }
  const DeviceProfile& profile() const { return profile_; }
  void setTurnaround(Clock::duration d) { profile_.turnaround = d; }
  void setSessionTimeout(Clock::duration d) { sessionTimeout_ = d; }
  // Power off and on: the base rate, no session (the only way back to 2450
  // under rate-return=power-up).
  void powerUp();

  // Rate the terminal listens and talks at now.
  std::uint32_t rate() const { return rate_; }
  // True while a command or table session is open.
  bool inSession() const { return phase_ == Phase::kSession || phase_ == Phase::kTable; }
  // Replies sent for `command` so far (faulty ones included, silence not).
  int replies(Command command) const { return replies_[static_cast<std::size_t>(command)]; }

  // --- The line's side ----------------------------------------------------

  // Takes one byte that reached the terminal at `at` (the end of its stop
  // bit). Returns the reply it starts, if any.
  std::optional<Transmission> hear(const LineByte& byte, Clock::time_point at);

 private:
  enum class Phase {
    kIdle,        // not addressed: only mark-parity bytes matter
    kAddressed,   // own address heard; waiting for confirmation or table open
    kSession,     // connected: commands, ACK / NAK frames
    kTable,       // table session: block reads and writes
  };

  void endSession();       // back to idle; the rate is the profile's affair
  void endTransfer();      // a record transfer has ended
  wire::FrameStyle frameStyle() const { return {profile_.startByte, profile_.thirdByteComplement, profile_.crc}; }
  std::size_t recordsPerFrame() const;
  void onAddress();
  std::optional<Transmission> onSessionByte(Clock::time_point at);
  std::optional<Transmission> onAddressedByte(Clock::time_point at);
  std::optional<Transmission> onTableByte(Clock::time_point at);
  std::optional<Transmission> onAckFrame(bool ack, Clock::time_point at);

  // Command handlers (emulator/commands/*.cc); `frame_` holds the frame.
  std::optional<Transmission> onConnect(Clock::time_point at);
  std::optional<Transmission> onSetClock(Clock::time_point at);
  std::optional<Transmission> onBaudChange(Clock::time_point at);
  std::optional<Transmission> onReadRecords(Clock::time_point at);
  std::optional<Transmission> sendNextRecordFrame(Clock::time_point at);
  std::optional<Transmission> onClear(Clock::time_point at);
  std::optional<Transmission> onReadBlock(Clock::time_point at);
  std::optional<Transmission> onWriteBlock(Clock::time_point at);

  // Takes the fault that hits this reply to `command`, if any. Kinds that
  // shape a particular reply (connect length, EOT, short block) are taken
  // only when listed in `shaping`; the others fit every reply.
  std::optional<Fault> takeFault(Command command, std::initializer_list<FaultKind> shaping = {});

  // Turns bytes into the reply, applying `fault` (its generic kinds);
  // returns nothing for silence. Counts the reply and keeps the session alive.
  std::optional<Transmission> reply(Command command, std::vector<std::uint8_t> bytes,
                                    const std::optional<Fault>& fault, Clock::time_point at);

  // The block number n of a BC / BD frame, or 0 when A1 / A2 disagree or n
  // is out of 1..1092.
  std::size_t blockNumber() const;

  std::uint16_t number_;
  std::uint32_t rate_ = kBaseRate;
  Phase phase_ = Phase::kIdle;
  bool connectCandidate_ = false;   // addressed as 02 HI LO
  bool tableCandidate_ = false;     // addressed as HI LO xx
  std::vector<std::uint8_t> mark_;  // the mark-parity run being heard
  bool inMarkRun_ = false;
  std::vector<std::uint8_t> frame_; // the space-parity frame being heard
  Clock::time_point lastActivity_{};

  std::vector<Record> records_;
  std::vector<std::uint8_t> image_;
  std::size_t imageEnd_ = 2;        // bytes of image_ holding the stored table
  std::optional<CivilDateTime> clockValue_;
  Clock::time_point clockSetAt_{};

  // Old-model record transfer: frames still to send, one per host ACK.
  std::vector<std::vector<std::uint8_t>> transfer_;
  std::size_t transferNext_ = 0;
  bool transferActive_ = false;

  std::vector<Fault> faults_;
  DeviceProfile profile_;
  Clock::duration sessionTimeout_ = kDefaultSessionTimeout;
  std::array<int, 9> replies_{};
};

}  // namespace mvcomm::emulator
