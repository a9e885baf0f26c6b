// File: terminal/crc_forms.cpp
#include "terminal/crc_forms.h"

#include "terminal/frames.h"

namespace mvcomm::terminal {

namespace {

enum class Span : std::uint8_t { kFrame, kControl, kPayload, kPayloadEnd, kFrameNoEnd, kControlNoEnd, kNone };

struct Form {
  std::string_view name;
  Span span;         // kNone: the two bytes are zero
  bool highFirst;    // the CRC's high byte comes first
};

constexpr std::array<Form, kCrcFormCount> kForms{{
    {"arc-frame", Span::kFrame, false},
    {"arc-control", Span::kControl, false},
    {"arc-payload", Span::kPayload, false},
    {"arc-payload-end", Span::kPayloadEnd, false},
    {"arc-frame-noend", Span::kFrameNoEnd, false},
    {"arc-control-noend", Span::kControlNoEnd, false},
    {"arc-frame-msb", Span::kFrame, true},
    {"arc-control-msb", Span::kControl, true},
    {"arc-payload-msb", Span::kPayload, true},
    {"arc-payload-end-msb", Span::kPayloadEnd, true},
    {"arc-frame-noend-msb", Span::kFrameNoEnd, true},
    {"arc-control-noend-msb", Span::kControlNoEnd, true},
    {"zero", Span::kNone, false},
}};

constexpr std::size_t kSpans = 6;

std::span<const std::uint8_t> covered(std::span<const std::uint8_t> frame, const FrameLayout& l, Span s) {
  const std::size_t payloadEnd = l.payloadOffset + l.payloadSize;
  switch (s) {
    case Span::kFrame: return frame.first(l.checkOffset());
    case Span::kControl: return frame.subspan(1, l.checkOffset() - 1);
    case Span::kPayload: return frame.subspan(l.payloadOffset, l.payloadSize);
    case Span::kPayloadEnd: return frame.subspan(l.payloadOffset, l.checkOffset() - l.payloadOffset);
    case Span::kFrameNoEnd: return frame.first(payloadEnd);
    case Span::kControlNoEnd: return frame.subspan(1, payloadEnd - 1);
    case Span::kNone: break;
  }
  return {};
}

bool matches(std::uint16_t crc, bool highFirst, std::uint8_t first, std::uint8_t second) {
  const auto lo = static_cast<std::uint8_t>(crc & 0xFF);
  const auto hi = static_cast<std::uint8_t>(crc >> 8);
  return highFirst ? first == hi && second == lo : first == lo && second == hi;
}

}  // namespace

std::string_view crcFormName(std::size_t form) { return form < kForms.size() ? kForms[form].name : "?"; }

bool crcFormFits(std::size_t form, std::span<const std::uint8_t> frame, const FrameLayout& layout) {
  if (form >= kForms.size() || layout.payloadOffset < 1 || frame.size() < layout.size()) return false;
  const std::uint8_t first = frame[layout.checkOffset()];
  const std::uint8_t second = frame[layout.checkOffset() + 1];
  const Form& f = kForms[form];
  if (f.span == Span::kNone) return first == 0 && second == 0;
  return matches(crc16(covered(frame, layout, f.span)), f.highFirst, first, second);
}

CrcFormMask fittingCrcForms(std::span<const std::uint8_t> frame, const FrameLayout& layout) {
  if (layout.payloadOffset < 1 || frame.size() < layout.size()) return 0;
  const std::uint8_t first = frame[layout.checkOffset()];
  const std::uint8_t second = frame[layout.checkOffset() + 1];
  CrcFormMask mask = 0;
  // One CRC per span serves both byte orders.
  for (std::size_t s = 0; s < kSpans; ++s) {
    const std::uint16_t crc = crc16(covered(frame, layout, static_cast<Span>(s)));
    if (matches(crc, false, first, second)) mask |= static_cast<CrcFormMask>(1u << s);
    if (matches(crc, true, first, second)) mask |= static_cast<CrcFormMask>(1u << (s + kSpans));
  }
  if (first == 0 && second == 0) mask |= static_cast<CrcFormMask>(1u << (2 * kSpans));
  return mask;
}

void CrcEvidence::add(CrcFormMask fits) {
  ++frames_;
  for (std::size_t i = 0; i < kCrcFormCount; ++i) {
    if (fits & (1u << i)) ++counts_[i];
  }
}

std::optional<std::size_t> CrcEvidence::form() const {
  std::size_t best = 0;
  for (std::size_t i = 1; i < kCrcFormCount; ++i) {
    if (counts_[i] > counts_[best]) best = i;
  }
  const std::uint32_t fits = counts_[best];
  if (fits > 0 && (2 * fits >= frames_ || fits >= 3)) return best;
  return std::nullopt;
}

CrcVerdict CrcEvidence::verdict() const {
  if (frames_ == 0) return CrcVerdict::kSound;
  const auto f = form();
  if (!f) return CrcVerdict::kUnknownForm;
  return counts_[*f] == frames_ ? CrcVerdict::kSound : CrcVerdict::kDamaged;
}

}  // namespace mvcomm::terminal
