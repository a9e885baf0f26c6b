// File: emulator/emulator.cpp
#include "emulator/emulator.h"

namespace mvcomm::emulator {

Terminal& Emulator::addTerminal(std::uint16_t number) {
  if (Terminal* t = find(number)) return *t;
  terminals_.push_back(std::make_unique<Terminal>(number));
  return *terminals_.back();
}

Terminal* Emulator::find(std::uint16_t number) {
  for (auto& t : terminals_)
    if (t->number() == number) return t.get();
  return nullptr;
}

std::vector<Terminal*> Emulator::terminals() {
  std::vector<Terminal*> all;
  for (auto& t : terminals_) all.push_back(t.get());
  return all;
}

void Emulator::hear(const LineByte& byte, Clock::time_point at, std::vector<Transmission>& replies) {
  for (auto& t : terminals_)
    if (auto out = t->hear(byte, at)) replies.push_back(std::move(*out));
}

void addSampleRecords(Terminal& terminal, const CivilDate& lastDay, int days, int perDay) {
  const std::int64_t last = daysFromCivil(lastDay);
  for (int d = days - 1; d >= 0; --d) {
    const CivilDate day = civilFromDays(last - d);
    for (int i = 0; i < perDay; ++i) {
      Record r;
      r.date = day;
      r.employeeId = static_cast<std::uint16_t>(1001 + i);
      r.workClass = static_cast<std::uint8_t>(1 + (i + d) % 4);
      const int minutes = 7 * 60 + 30 + (i * 37 + d * 11) % (10 * 60);
      r.hour = static_cast<std::uint8_t>(minutes / 60);
      r.minute = static_cast<std::uint8_t>(minutes % 60);
      (void)terminal.addRecord(r);  // every field above is in range
    }
  }
}

}  // namespace mvcomm::emulator
