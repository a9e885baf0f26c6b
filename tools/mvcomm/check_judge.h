// File: tools/mvcomm/check_judge.h
//
// What the check bytes of a run of terminal frames show: which form of
// check the terminal uses (emulator/crc_form.h lists every form we can
// name) and whether a frame does not fit it. The tool's own judgement,
// apart from the terminal class's: stream_watch.h uses it before a clear,
// trace-info on a captured trace. A form is the terminal's when it fits at
// least half of the frames, or three of them; frames whose checks fit no
// form that often tell nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emulator/crc_form.h"

namespace mvcomm::cli {

struct CheckFinding {
  std::size_t frames = 0;                  // frames judged
  std::optional<emulator::CrcForm> form;   // the terminal's form, when one stands out
  std::size_t misfits = 0;                 // frames that do not fit it (damaged)
  std::optional<std::uint8_t> startByte;   // when every frame began with the same byte
  std::string thirdByte;                   // data frames: "complement", "zero", "mixed", or ""

  // True when the terminal class checks this form (CRC-16/ARC over any
  // span, either byte order); zero bytes and the other algorithms it takes
  // on structure alone.
  bool classChecks() const;
  // "arc-control", "zero", or "a form not known" (no form stands out).
  std::string formText() const;
};

class CheckJudge {
 public:
  void add(std::span<const std::uint8_t> frame, const emulator::FrameParts& parts);
  CheckFinding finding() const;

 private:
  std::vector<std::uint32_t> counts_;      // per emulator::allCrcForms()
  std::vector<std::size_t> candidates_;    // the forms that fit the first frame
  std::size_t frames_ = 0;
  int start_ = -1;                         // the first frame's start byte; -2 once they differ
  std::string third_;                      // as CheckFinding::thirdByte
};

}  // namespace mvcomm::cli
