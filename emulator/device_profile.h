// File: emulator/device_profile.h
//
// What a terminal does where the protocol leaves it open, as named choices.
// The defaults follow the protocol's words where it speaks and are our
// guesses where it does not; docs/device-assumptions.md says which is which
// and how the host copes with each alternative. Tests run the host against
// every choice; mvcomm-sim and mvcomm --simulate take them as text:
//
//   crc=arc-control,start=01,write-reply=ack,rate-return=quiet:1500,turnaround=5
//
// Keys (default first):
//   crc=FORM            check bytes of its frames (crc_form.h): arc-frame, ...
//   start=HEX           first byte of its data frames and block replies: 02
//   third=zero|complement      a data frame's byte after K
//   write-reply=acks|ack|echo|nak   reply to a stored table block: five ACKs,
//                       one ACK, the frame's first six bytes echoed; nak: it
//                       refuses every block with one NAK
//   rate-return=next-session|end|quiet[:MS]|power-up   when a terminal left
//                       at a changed rate comes back to 2450: when it hears
//                       a byte at another rate (the next session's opening),
//                       when the transfer ends, after MS of quiet line
//                       (default 6000), or only at power-up
//   table-write=erase|in-place   block 1 erases the old table, or blocks
//                       overwrite it in place (rows past the new end stay)
//   turnaround=MS       from the end of the host's frame to the reply: 20
//   garbage=no-ack|any  whether garbage faults may hold 0x06 bytes
//   records-per-frame=N records per record frame (0: 60 new model, 32 old)
//   eot=last|own        new model: EOT on the last frame, or in an empty
//                       frame of its own
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "emulator/crc_form.h"
#include "platform/clock.h"

namespace mvcomm::emulator {

enum class WriteReply : std::uint8_t { kAcks, kAck, kEcho, kNak };
enum class RateReturn : std::uint8_t { kNextSession, kEndOfTransfer, kQuiet, kPowerUp };
enum class TableWrite : std::uint8_t { kEraseOnFirstBlock, kInPlace };

struct DeviceProfile {
  CrcForm crc{};                                   // arc-frame
  std::uint8_t startByte = 0x02;                   // STX
  bool thirdByteComplement = false;                // 0x00
  WriteReply writeReply = WriteReply::kAcks;
  RateReturn rateReturn = RateReturn::kNextSession;
  Clock::duration rateQuiet = std::chrono::milliseconds(6000);  // under kQuiet
  TableWrite tableWrite = TableWrite::kEraseOnFirstBlock;
  Clock::duration turnaround = std::chrono::milliseconds(20);
  bool garbageHoldsAck = false;                    // garbage never holds 0x06
  std::size_t recordsPerFrame = 0;                 // 0: the model's own (60 / 32)
  bool eotOwnFrame = false;                        // EOT on the last frame

  friend bool operator==(const DeviceProfile&, const DeviceProfile&) = default;
};

// Applies "key=value,key=value" to `profile` (keys as above; "default" or ""
// changes nothing). Returns "" or what is wrong; `profile` is left as it was
// on an error.
std::string parseDeviceProfile(std::string_view text, DeviceProfile& profile);

// The keys where `profile` differs from the default, as parseDeviceProfile
// takes them; "default" when it does not differ.
std::string deviceProfileText(const DeviceProfile& profile);

}  // namespace mvcomm::emulator
