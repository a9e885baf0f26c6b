// File: emulator/commands/table_blocks.cpp
//
// BC read block and BD write block: 02 cmd A1 A2 [16 bytes] CRC, with
// A1 = 0x7BFF + n and A2 = 0x7C00 + n for block n (1 to 1092).
//
//   read:  start byte (02), BC, the 16 image bytes of block n, the check
//          (20 bytes). Blocks past the written table are erased (FF), which
//          the host takes as the end.
//   write: stores the 16 bytes and answers as the profile says (five ACKs by
//          default). Block 1 starts a new table, so the rest of the image is
//          erased first and no old rows survive; with table-write=in-place
//          blocks overwrite the old table and its rows past the new end stay.
#include <algorithm>

#include "emulator/terminal.h"
#include "emulator/wire.h"

namespace mvcomm::emulator {

std::optional<Transmission> Terminal::onReadBlock(Clock::time_point at) {
  const std::size_t n = blockNumber();
  const auto fault = takeFault(Command::kReadBlock, {FaultKind::kShortBlock});
  if (n == 0) return reply(Command::kReadBlock, wire::naks(), fault, at);
  std::vector<std::uint8_t> bytes(2 + wire::kBlockBytes);
  bytes[0] = profile_.startByte;
  bytes[1] = wire::kCmdReadBlock;
  const auto first = image_.begin() + static_cast<std::ptrdiff_t>((n - 1) * wire::kBlockBytes);
  std::copy(first, first + wire::kBlockBytes, bytes.begin() + 2);
  appendCheck(bytes, FrameParts{2, wire::kBlockBytes, false}, profile_.crc);
  if (fault && fault->kind == FaultKind::kShortBlock)
    bytes.resize(std::min<std::size_t>(fault->bytes.value_or(10), bytes.size()));
  return reply(Command::kReadBlock, std::move(bytes), fault, at);
}

std::optional<Transmission> Terminal::onWriteBlock(Clock::time_point at) {
  const std::size_t n = blockNumber();
  const auto fault = takeFault(Command::kWriteBlock);
  if (n == 0 || profile_.writeReply == WriteReply::kNak)
    return reply(Command::kWriteBlock, {wire::kNak}, fault, at);
  // Garbage is noise on the reply of a stored block; a terminal that
  // answers NAK or nothing has not stored it.
  if (!fault || (fault->kind != FaultKind::kNak && fault->kind != FaultKind::kSilence)) {
    if (n == 1 && profile_.tableWrite == TableWrite::kEraseOnFirstBlock) {
      std::fill(image_.begin(), image_.end(), 0xFF);
      imageEnd_ = 0;
    }
    imageEnd_ = std::max(imageEnd_, n * wire::kBlockBytes);
    std::copy(frame_.begin() + 6, frame_.begin() + 22,
              image_.begin() + static_cast<std::ptrdiff_t>((n - 1) * wire::kBlockBytes));
  }
  std::vector<std::uint8_t> answer;
  switch (profile_.writeReply) {
    case WriteReply::kAcks: answer = wire::acks(); break;
    case WriteReply::kAck: answer = {wire::kAck}; break;
    case WriteReply::kEcho: answer.assign(frame_.begin(), frame_.begin() + 6); break;
    case WriteReply::kNak: break;
  }
  if (fault && fault->kind == FaultKind::kNak) answer = wire::naks();  // whatever its usual shape
  return reply(Command::kWriteBlock, std::move(answer), fault, at);
}

}  // namespace mvcomm::emulator
