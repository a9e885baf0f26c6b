// File: terminal/frames.h
//
// The bytes of the terminal line as the terminal class sends and reads them:
// byte constants, the CRC that ends most host frames, machine-number bytes,
// the model rule, and one builder per frame the host sends. The emulator
// does not use these: it keeps its own CRC and frame code (emulator/wire.h,
// emulator/crc_form.h) on purpose, as an oracle independent of this file.
//
// Sections: constants; CRC; machine numbers and rates; host frames;
// terminal data frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "terminal/datetime.h"

namespace mvcomm::terminal {

using Frame = std::vector<std::uint8_t>;

// ---- constants --------------------------------------------------------------

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kEot = 0x04;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;

// Command bytes of the host frames.
inline constexpr std::uint8_t kCmdHello = 0xA2;       // session start and end
inline constexpr std::uint8_t kCmdSetClock = 0xA1;
inline constexpr std::uint8_t kCmdBaudChange = 0xAC;
inline constexpr std::uint8_t kCmdReadNew = 0xBE;
inline constexpr std::uint8_t kCmdReadOld = 0xAA;
inline constexpr std::uint8_t kCmdClear = 0xA6;
inline constexpr std::uint8_t kCmdTableOpen = 0xB0;
inline constexpr std::uint8_t kCmdReadBlock = 0xBC;
inline constexpr std::uint8_t kCmdWriteBlock = 0xBD;

// Control bytes of terminal data frames; any other value is a record frame
// whose payload length is the control byte itself.
inline constexpr std::uint8_t kKindHeader = 0xB1;
inline constexpr std::uint8_t kKindDate = 0xBB;

inline constexpr std::size_t kAddressConfirmationSize = 105;
inline constexpr std::size_t kConnectReplySize = 111;  // begins with five ACKs
inline constexpr std::size_t kAckFrameSize = 5;
inline constexpr std::size_t kRecordSize = 4;
inline constexpr std::size_t kBlockDataSize = 16;       // table image bytes per block
inline constexpr std::int32_t kMaxBlocks = 1092;        // blocks read or written at most
inline constexpr std::int32_t kMaxReferRows = 2911;     // rows whose image fits in kMaxBlocks

// ---- CRC ----------------------------------------------------------------------

// CRC-16/ARC (reflected polynomial 0xA001, initial 0, no final xor): 0xBB3D
// for "123456789". The host appends it low byte first.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// The two bytes the host appends after `bytes`: their CRC, low byte then
// high byte. n_cst_mvcomm::of_buildcrc and appendCrc both write these.
std::array<std::uint8_t, 2> crcBytes(std::span<const std::uint8_t> bytes);

// Appends the CRC of all bytes of `frame`, low byte then high byte.
void appendCrc(Frame& frame);

// ---- machine numbers and rates ------------------------------------------------

inline constexpr std::uint8_t machineHi(std::uint16_t n) { return static_cast<std::uint8_t>(n >> 8); }
inline constexpr std::uint8_t machineLo(std::uint16_t n) { return static_cast<std::uint8_t>(n & 0xFF); }

// Bitwise complement of a 16-bit value (65535 - value).
inline constexpr std::uint16_t inverse16(std::uint16_t v) { return static_cast<std::uint16_t>(~v); }

// New-model terminals are numbered 0..10000 except 2001; the rest are old.
inline constexpr bool isNewModel(std::int32_t machinenum) {
  return machinenum <= 10000 && machinenum != 2001;
}

// Reception byte limit of a model: a new-model terminal sends one stream of
// up to 150000 bytes, an old-model one frames of at most 206.
inline constexpr std::int32_t kNewModelByteLimit = 150000;
inline constexpr std::int32_t kOldModelByteLimit = 206;

// The rate set on the port for a nominal rate (0 -> 2400 for the first
// frame of a session, 2400 -> 2450, 4800 -> 4937, 9600 -> 10416,
// 14400 -> 15625, anything else -> 2403).
std::uint32_t actualBaud(std::int32_t nominal);

// The baud-change frame's code for a nominal rate (0xEF for 2400 and for
// any rate without a code of its own).
std::uint8_t baudCode(std::int32_t nominal);

// Block numbers of the reference-table block n (n from 1).
inline constexpr std::uint16_t blockA1(std::int32_t n) { return static_cast<std::uint16_t>(0x7BFF + n); }
inline constexpr std::uint16_t blockA2(std::int32_t n) { return static_cast<std::uint16_t>(0x7C00 + n); }

// ---- host frames (CRC included where the frame has one) -----------------------

Frame commandA2Frame();                                  // 02 A2 5D CRC, space
Frame addressFrame(std::uint16_t machine);               // 02 HI LO, mark
Frame addressConfirmationFrame(std::uint16_t machine);   // 105 bytes, space
// 02 A1 5E YY MO DD HH MI 03 CRC; the caller has checked the year is 1900..2155.
Frame setClockFrame(const DateTime& clock);
Frame baudChangeFrame(std::int32_t nominal);             // 02 AC 53 BC CRC
// 02 BE 55 (new) or 02 AA 55 (old), first date, 20, second date, 03, CRC.
Frame readRecordsFrame(bool newModel, const Date& first, const Date& second);
Frame clearRecordsFrame();                               // 02 A6 59 59 59 59 59 03 CRC
Frame tableAddressFrame(std::uint16_t machine);          // HI LO 00, mark
Frame tableOpenFrame();                                  // B0 00
Frame readBlockFrame(std::int32_t n);                    // 02 BC A1 A2 CRC
// 02 BD A1 A2, 16 image bytes, CRC. `data` must hold 16 bytes.
Frame writeBlockFrame(std::int32_t n, std::span<const std::uint8_t> data);
Frame ackFrame();                                        // 06 06 06 06 06
Frame rejectFrame();                                     // 15 15 15 15 15

// True when `reply` begins with five ACK bytes.
bool beginsWithAcks(std::span<const std::uint8_t> reply);

// ---- terminal data frames -------------------------------------------------------

// One clock-in record as it travels: 4 bytes.
struct WireRecord {
  std::uint16_t employeeid = 0;  // employee number
  std::uint8_t workclass = 1;    // 1 to 8
  std::uint8_t hour = 0;         // 5 bits on the wire (0..31; a valid one is 0..23)
  std::uint8_t minute = 0;       // 6 bits on the wire (0..63; a valid one is 0..59)
};

std::array<std::uint8_t, kRecordSize> encodeRecord(const WireRecord& record);
// `bytes` must hold at least 4 bytes.
WireRecord decodeRecord(std::span<const std::uint8_t> bytes);

// A table block reply as our terminals send it: 02 BC, the 16 image bytes
// of the block, two check bytes (crc_forms.h).
inline constexpr std::size_t kBlockReplySize = 2 + kBlockDataSize + 2;

// A data frame as a terminal sends it: start byte, control byte K, one
// unexamined byte, the payload, ETX (or EOT when `last`), two CRC bytes.
Frame dataFrame(std::uint8_t kind, std::span<const std::uint8_t> payload, bool last);

}  // namespace mvcomm::terminal
