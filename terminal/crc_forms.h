// File: terminal/crc_forms.h
//
// The check at the end of the frames a terminal sends. The host's own frames
// carry CRC-16/ARC over the whole frame, low byte first; what a terminal puts
// after its data frames and table block replies is nobody's promise, so the
// host learns it from each transfer:
//
//   - a known form that fits the transfer's frames is the terminal's; a frame
//     that does not fit it was damaged on the way (the transfer is refused);
//   - when no known form fits, the terminal uses one we do not know, and the
//     frames are taken on their structure alone (and the caller is told).
//
// Known forms: CRC-16/ARC over one of six spans, stored low or high byte
// first, and two zero bytes (a terminal that fills the place and checks
// nothing).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace mvcomm::terminal {

// Where the parts of a checked frame are: a data frame is start byte, K, one
// byte, payload, end byte; a table block reply is start byte, BC, payload.
// The two check bytes follow the end byte (or the payload, without one).
struct FrameLayout {
  std::size_t payloadOffset = 3;  // bytes before the payload
  std::size_t payloadSize = 0;    // L
  bool hasEnd = true;             // an ETX / EOT byte follows the payload

  std::size_t checkOffset() const { return payloadOffset + payloadSize + (hasEnd ? 1 : 0); }
  std::size_t size() const { return checkOffset() + 2; }
};

// The layout of a data frame whose payload is `payloadSize` bytes.
inline constexpr FrameLayout dataFrameLayout(std::size_t payloadSize) { return {3, payloadSize, true}; }
// The layout of a table block reply: 02 BC, 16 image bytes, the check.
inline constexpr FrameLayout blockReplyLayout() { return {2, 16, false}; }

// The known forms, in order of preference (the host's own form first).
inline constexpr std::size_t kCrcFormCount = 13;
using CrcFormMask = std::uint16_t;  // bit i: form i fits
static_assert(kCrcFormCount <= 16);

// The form's name, as mvcomm-sim's --profile crc= takes it: "arc-frame",
// "arc-control-msb", "zero", ...
std::string_view crcFormName(std::size_t form);

// The forms that fit `frame` (laid out as `layout`; bytes past its end are
// not looked at). 0 when the frame is shorter than the layout.
CrcFormMask fittingCrcForms(std::span<const std::uint8_t> frame, const FrameLayout& layout);

// True when form `form` fits `frame`.
bool crcFormFits(std::size_t form, std::span<const std::uint8_t> frame, const FrameLayout& layout);

// What the checks of one transfer found.
enum class CrcVerdict : std::uint8_t {
  kSound,        // one known form fits every frame (or there was no frame)
  kDamaged,      // the terminal's form is known, and a frame does not fit it
  kUnknownForm,  // no known form is the terminal's: judged on structure alone
};

// Collects the fits of a transfer's frames and judges them together, so that
// nothing is decided before the last frame is in.
class CrcEvidence {
 public:
  void add(CrcFormMask fits);
  void reset() { *this = CrcEvidence{}; }

  std::size_t frames() const { return frames_; }

  // A form is the terminal's when it fits at least half of the frames, or
  // three of them: a frame with an unknown check fits some known form by
  // chance once in about 5000 frames, so a longer transfer never makes one
  // up, and a short one is judged on the side of refusing.
  CrcVerdict verdict() const;
  // The terminal's form (under kSound or kDamaged with at least one frame).
  std::optional<std::size_t> form() const;

 private:
  std::array<std::uint32_t, kCrcFormCount> counts_{};  // frames each form fits
  std::uint32_t frames_ = 0;                            // frames added
};

}  // namespace mvcomm::terminal
