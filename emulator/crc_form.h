// File: emulator/crc_form.h
//
// The check bytes a terminal may put at the end of the frames it sends: an
// algorithm, the span of the frame it covers, and the order of its two
// bytes, or two zero bytes. The protocol fixes the host's own form only
// (CRC-16/ARC over the whole frame, low byte first); the emulator can send
// any of these, and the tools use the list to tell which one a captured
// terminal uses. Written apart from terminal/ on purpose: the emulator is
// the host's oracle.
//
// Names: "zero", or ALGORITHM-SPAN[-msb], as in "arc-frame",
// "arc-control-msb", "modbus-payload-end":
//   ALGORITHM  arc (CRC-16/ARC), modbus (CRC-16/MODBUS), xmodem (CRC-16/XMODEM)
//   SPAN       frame (start byte to end byte), control (control byte to end
//              byte), payload, payload-end, frame-noend, control-noend
//   -msb       the high byte first (default: low byte first)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mvcomm::emulator {

// Where the parts of a checked frame are (see terminal data frames and table
// block replies in wire.h); the check follows the end byte, or the payload
// when there is none.
struct FrameParts {
  std::size_t payloadOffset = 3;  // bytes before the payload (at least 1)
  std::size_t payloadSize = 0;
  bool hasEnd = true;             // an ETX / EOT byte follows the payload

  std::size_t checkOffset() const { return payloadOffset + payloadSize + (hasEnd ? 1 : 0); }
};

enum class CrcAlgorithm : std::uint8_t { kArc, kModbus, kXmodem };
enum class CrcSpan : std::uint8_t { kFrame, kControl, kPayload, kPayloadEnd, kFrameNoEnd, kControlNoEnd };

struct CrcForm {
  bool zero = false;                         // two zero bytes, no CRC
  CrcAlgorithm algorithm = CrcAlgorithm::kArc;
  CrcSpan span = CrcSpan::kFrame;
  bool highFirst = false;                    // high byte first

  friend bool operator==(const CrcForm&, const CrcForm&) = default;
};

std::string crcFormName(const CrcForm& form);
std::optional<CrcForm> crcFormFromName(std::string_view name);

// Every form above ("zero" first, then arc, modbus, xmodem).
const std::vector<CrcForm>& allCrcForms();

// CRC of `bytes` by `algorithm`.
std::uint16_t crcOf(CrcAlgorithm algorithm, std::span<const std::uint8_t> bytes);

// Appends the two check bytes of `form` to `frame`, which holds the frame up
// to its check (frame.size() == parts.checkOffset()).
void appendCheck(std::vector<std::uint8_t>& frame, const FrameParts& parts, const CrcForm& form);

// True when `frame` holds its check bytes and they are those of `form`.
bool checkFits(std::span<const std::uint8_t> frame, const FrameParts& parts, const CrcForm& form);

}  // namespace mvcomm::emulator
