// File: emulator/fault.cpp
//
// Fault and command names, and the "kind:command:field=value" parser used by
// command lines.
#include "emulator/fault.h"

#include <array>
#include <charconv>
#include <utility>

namespace mvcomm::emulator {

namespace {

constexpr std::array<std::pair<FaultKind, std::string_view>, 14> kFaultNames{{
    {FaultKind::kSilence, "silence"},
    {FaultKind::kCutShort, "cut-short"},
    {FaultKind::kTooLong, "too-long"},
    {FaultKind::kNak, "nak"},
    {FaultKind::kConnectLength, "connect-length"},
    {FaultKind::kGarbage, "garbage"},
    {FaultKind::kPause, "pause"},
    {FaultKind::kStopBeforeEot, "stop-before-eot"},
    {FaultKind::kEarlyEot, "early-eot"},
    {FaultKind::kShortBlock, "short-block"},
    {FaultKind::kVanish, "vanish"},
    {FaultKind::kReplace, "replace"},
    {FaultKind::kEndless, "endless"},
    {FaultKind::kFlip, "flip"},
}};

constexpr std::array<std::pair<Command, std::string_view>, 9> kCommandNames{{
    {Command::kAny, "any"},
    {Command::kConnect, "connect"},
    {Command::kSetClock, "set-clock"},
    {Command::kBaudChange, "baud-change"},
    {Command::kReadRecords, "read-records"},
    {Command::kRecordFrame, "record-frame"},
    {Command::kClear, "clear"},
    {Command::kReadBlock, "read-block"},
    {Command::kWriteBlock, "write-block"},
}};

template <typename Table, typename Key>
std::string_view nameOf(const Table& table, Key key) {
  for (const auto& [k, name] : table)
    if (k == key) return name;
  return "?";
}

template <typename Key, typename Table>
std::optional<Key> keyOf(const Table& table, std::string_view name) {
  for (const auto& [k, n] : table)
    if (n == name) return k;
  return std::nullopt;
}

std::optional<long long> number(std::string_view text) {
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

std::optional<std::vector<std::uint8_t>> hexBytes(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
    if (ec != std::errc() || end != text.data() + i + 2) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

}  // namespace

std::string_view faultName(FaultKind kind) { return nameOf(kFaultNames, kind); }
std::optional<FaultKind> faultKindFromName(std::string_view name) {
  return keyOf<FaultKind>(kFaultNames, name);
}
std::string_view commandName(Command command) { return nameOf(kCommandNames, command); }
std::optional<Command> commandFromName(std::string_view name) {
  return keyOf<Command>(kCommandNames, name);
}

constexpr long long kMaxFaultBytes = 1'000'000;

std::optional<Fault> parseFault(std::string_view text) {
  Fault fault;
  bool first = true;
  while (true) {
    const std::size_t colon = text.find(':');
    const std::string_view field = text.substr(0, colon);
    if (first) {
      const auto kind = faultKindFromName(field);
      if (!kind) return std::nullopt;
      fault.kind = *kind;
      first = false;
    } else if (const std::size_t eq = field.find('='); eq == std::string_view::npos) {
      const auto command = commandFromName(field);
      if (!command) return std::nullopt;
      fault.command = *command;
    } else {
      const std::string_view key = field.substr(0, eq);
      if (key == "data") {
        auto bytes = hexBytes(field.substr(eq + 1));
        if (!bytes) return std::nullopt;
        fault.data = std::move(*bytes);
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
        continue;
      }
      const auto value = number(field.substr(eq + 1));
      if (!value || *value > 1'000'000'000) return std::nullopt;
      if (key == "bytes") {
        // Replies are built whole in memory: a million bytes is over six
        // full record streams, and keeps a typo from asking for gigabytes.
        if (*value > kMaxFaultBytes) return std::nullopt;
        fault.bytes = static_cast<std::size_t>(*value);
      } else if (key == "pause") {
        fault.pause = std::chrono::milliseconds(*value);
      } else if (key == "skip") {
        fault.skip = static_cast<int>(*value);
      } else if (key == "times") {
        fault.times = static_cast<int>(*value);
      } else {
        return std::nullopt;
      }
    }
    if (colon == std::string_view::npos) break;
    text.remove_prefix(colon + 1);
  }
  return fault;
}

}  // namespace mvcomm::emulator
