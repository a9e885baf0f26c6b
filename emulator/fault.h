// File: emulator/fault.h
//
// Faults a terminal can be told to commit, by name. Tests, the command-line
// simulator and the --simulate mode ask for them the same way:
//
//   terminal.inject({FaultKind::kNak, Command::kSetClock, .times = 3});
//   inject(parseFault("cut-short:read-records:bytes=40"))
//
// A fault hits the replies to one command (or any), after letting `skip`
// of them pass, `times` times (0 means every one from then on).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mvcomm::emulator {

enum class FaultKind {
  kSilence,         // no reply at all
  kCutShort,        // reply cut to `bytes` bytes (default: half of it)
  kTooLong,         // `bytes` extra bytes after the reply (default 1)
  kNak,             // the reply's ACKs become NAKs
  kConnectLength,   // the connect reply is `bytes` long (default 110) instead of 111
  kGarbage,         // the reply replaced by `bytes` pseudo-random bytes (default: same length)
  kPause,           // line silence of `pause` after `bytes` bytes of the reply (default: half)
  kStopBeforeEot,   // the record transfer ends without its EOT frame
  kEarlyEot,        // old model: the header counts `bytes` (default 4) more than the frames carry
  kShortBlock,      // a table read reply of `bytes` bytes (default 10), shorter than a block
  kVanish,          // the device disappears after `bytes` bytes of the reply (read errors)
  kReplace,         // the reply replaced by `data`, exactly (hand-made streams)
  kEndless,         // the record transfer never ends: empty record frames (ETX) where the
                    // EOT frame belongs; a new-model stream runs past what a reception holds
  kFlip,            // line noise: the byte at offset `bytes` (default: the middle) inverted
};

// The exchange a reply belongs to.
enum class Command {
  kAny,
  kConnect,       // address confirmation: the 111-byte reply
  kSetClock,      // A1
  kBaudChange,    // AC
  kReadRecords,   // BE / AA: the stream (new model) or first frame (old model)
  kRecordFrame,   // old model: each later frame, sent after the host's ACK
  kClear,         // A6
  kReadBlock,     // BC
  kWriteBlock,    // BD
};

struct Fault {
  FaultKind kind = FaultKind::kSilence;
  Command command = Command::kAny;      // replies it applies to
  int skip = 0;                         // matching replies to let pass first
  int times = 1;                        // replies it hits; 0 = all from then on
  std::optional<std::size_t> bytes;     // size or offset, per kind (see FaultKind)
  std::chrono::milliseconds pause{0};   // kPause only
  std::vector<std::uint8_t> data;       // kReplace only
};

std::string_view faultName(FaultKind kind);
std::optional<FaultKind> faultKindFromName(std::string_view name);
std::string_view commandName(Command command);
std::optional<Command> commandFromName(std::string_view name);

// Parses "kind[:command][:bytes=N][:pause=MS][:skip=N][:times=N][:data=HEX]",
// for example "nak:set-clock:times=3", "pause:read-records:bytes=50:pause=900"
// or "replace:set-clock:data=0606060606".
// Returns nothing for an unknown name or a malformed field.
std::optional<Fault> parseFault(std::string_view text);

}  // namespace mvcomm::emulator
