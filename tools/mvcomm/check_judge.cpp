// File: tools/mvcomm/check_judge.cpp
#include "tools/mvcomm/check_judge.h"

namespace mvcomm::cli {

bool CheckFinding::classChecks() const {
  return form && !form->zero && form->algorithm == emulator::CrcAlgorithm::kArc;
}

std::string CheckFinding::formText() const {
  return form ? emulator::crcFormName(*form) : "a form not known";
}

void CheckJudge::add(std::span<const std::uint8_t> frame, const emulator::FrameParts& parts) {
  const auto& forms = emulator::allCrcForms();
  if (counts_.empty()) counts_.assign(forms.size(), 0);
  // Frames that fit a form the first one fitted are counted for those forms
  // only; any other frame is tried against every form.
  bool fitsCandidate = false;
  for (std::size_t f : candidates_) {
    if (emulator::checkFits(frame, parts, forms[f])) {
      ++counts_[f];
      fitsCandidate = true;
    }
  }
  if (!fitsCandidate) {
    for (std::size_t f = 0; f < forms.size(); ++f) {
      if (!emulator::checkFits(frame, parts, forms[f])) continue;
      ++counts_[f];
      if (frames_ == 0) candidates_.push_back(f);
    }
  }
  ++frames_;
  if (frame.empty()) return;
  if (start_ == -1) start_ = frame[0];
  if (start_ != frame[0]) start_ = -2;
  if (parts.payloadOffset == 3 && frame.size() >= 3) {
    const char* third = frame[2] == static_cast<std::uint8_t>(~frame[1]) ? "complement" : frame[2] == 0 ? "zero" : "mixed";
    third_ = third_.empty() || third_ == third ? third : "mixed";
  }
}

CheckFinding CheckJudge::finding() const {
  CheckFinding out;
  out.frames = frames_;
  if (start_ >= 0) out.startByte = static_cast<std::uint8_t>(start_);
  out.thirdByte = third_;
  std::size_t best = 0;
  for (std::size_t f = 1; f < counts_.size(); ++f) {
    if (counts_[f] > counts_[best]) best = f;
  }
  const std::size_t fits = counts_.empty() ? 0 : counts_[best];
  if (fits > 0 && (2 * fits >= frames_ || fits >= 3)) {
    out.form = emulator::allCrcForms()[best];
    out.misfits = frames_ - fits;
  }
  return out;
}

}  // namespace mvcomm::cli
