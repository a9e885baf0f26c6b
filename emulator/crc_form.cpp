// File: emulator/crc_form.cpp
#include "emulator/crc_form.h"

#include <array>
#include <utility>

namespace mvcomm::emulator {

namespace {

constexpr std::array<std::pair<CrcAlgorithm, std::string_view>, 3> kAlgorithms{{
    {CrcAlgorithm::kArc, "arc"},
    {CrcAlgorithm::kModbus, "modbus"},
    {CrcAlgorithm::kXmodem, "xmodem"},
}};

constexpr std::array<std::pair<CrcSpan, std::string_view>, 6> kSpans{{
    {CrcSpan::kFrame, "frame"},
    {CrcSpan::kControl, "control"},
    {CrcSpan::kPayload, "payload"},
    {CrcSpan::kPayloadEnd, "payload-end"},
    {CrcSpan::kFrameNoEnd, "frame-noend"},
    {CrcSpan::kControlNoEnd, "control-noend"},
}};

// Bit by bit: slow, obviously right, and nothing like the host's tables.
std::uint16_t reflected(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

std::uint16_t xmodem(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0;
  for (std::uint8_t b : bytes) {
    crc ^= static_cast<std::uint16_t>(b << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021) : static_cast<std::uint16_t>(crc << 1);
  }
  return crc;
}

std::span<const std::uint8_t> covered(std::span<const std::uint8_t> f, const FrameParts& p, CrcSpan s) {
  const std::size_t payloadEnd = p.payloadOffset + p.payloadSize;
  switch (s) {
    case CrcSpan::kFrame: return f.first(p.checkOffset());
    case CrcSpan::kControl: return f.subspan(1, p.checkOffset() - 1);
    case CrcSpan::kPayload: return f.subspan(p.payloadOffset, p.payloadSize);
    case CrcSpan::kPayloadEnd: return f.subspan(p.payloadOffset, p.checkOffset() - p.payloadOffset);
    case CrcSpan::kFrameNoEnd: return f.first(payloadEnd);
    case CrcSpan::kControlNoEnd: return f.subspan(1, payloadEnd - 1);
  }
  return {};
}

std::array<std::uint8_t, 2> checkBytes(std::span<const std::uint8_t> frame, const FrameParts& parts,
                                       const CrcForm& form) {
  if (form.zero) return {0, 0};
  const std::uint16_t crc = crcOf(form.algorithm, covered(frame, parts, form.span));
  const auto lo = static_cast<std::uint8_t>(crc & 0xFF);
  const auto hi = static_cast<std::uint8_t>(crc >> 8);
  return form.highFirst ? std::array<std::uint8_t, 2>{hi, lo} : std::array<std::uint8_t, 2>{lo, hi};
}

}  // namespace

std::uint16_t crcOf(CrcAlgorithm algorithm, std::span<const std::uint8_t> bytes) {
  switch (algorithm) {
    case CrcAlgorithm::kArc: return reflected(0x0000, bytes);
    case CrcAlgorithm::kModbus: return reflected(0xFFFF, bytes);
    case CrcAlgorithm::kXmodem: return xmodem(bytes);
  }
  return 0;
}

std::string crcFormName(const CrcForm& form) {
  if (form.zero) return "zero";
  std::string name;
  for (const auto& [a, text] : kAlgorithms)
    if (a == form.algorithm) name = text;
  for (const auto& [s, text] : kSpans)
    if (s == form.span) name += "-" + std::string(text);
  if (form.highFirst) name += "-msb";
  return name;
}

std::optional<CrcForm> crcFormFromName(std::string_view name) {
  for (const CrcForm& f : allCrcForms())
    if (crcFormName(f) == name) return f;
  return std::nullopt;
}

const std::vector<CrcForm>& allCrcForms() {
  static const std::vector<CrcForm> forms = [] {
    std::vector<CrcForm> all{CrcForm{true, CrcAlgorithm::kArc, CrcSpan::kFrame, false}};
    for (const auto& [a, aName] : kAlgorithms)
      for (bool highFirst : {false, true})
        for (const auto& [s, sName] : kSpans) all.push_back(CrcForm{false, a, s, highFirst});
    return all;
  }();
  return forms;
}

void appendCheck(std::vector<std::uint8_t>& frame, const FrameParts& parts, const CrcForm& form) {
  const auto bytes = checkBytes(frame, parts, form);
  frame.insert(frame.end(), bytes.begin(), bytes.end());
}

bool checkFits(std::span<const std::uint8_t> frame, const FrameParts& parts, const CrcForm& form) {
  if (parts.payloadOffset < 1 || frame.size() < parts.checkOffset() + 2) return false;
  const auto bytes = checkBytes(frame, parts, form);
  return frame[parts.checkOffset()] == bytes[0] && frame[parts.checkOffset() + 1] == bytes[1];
}

}  // namespace mvcomm::emulator
