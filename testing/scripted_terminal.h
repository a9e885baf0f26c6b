// File: testing/scripted_terminal.h
//
// A minimal far end for the unit tests: answers each host frame from a
// script of canned replies after a turnaround delay. The real terminal
// model is the emulator; this one exists to steer the class into each branch.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "testing/fake_line.h"
#include "terminal/frames.h"

namespace mvcomm::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes acks() { return Bytes(5, 0x06); }
inline Bytes connectReply(std::size_t size = 111) {
  Bytes r(size, 0x00);
  for (std::size_t i = 0; i < 5 && i < size; ++i) r[i] = 0x06;
  return r;
}

struct ScriptedTerminal {
  std::chrono::milliseconds turnaround{20};
  Bytes onConnect = connectReply();
  std::deque<Bytes> onSetClock;      // one reply per attempt; empty: ACKs
  std::deque<Bytes> onBaudChange;
  std::deque<Bytes> onClear;
  Bytes onReadNew;                   // whole reply, ACKs included
  std::deque<Bytes> onReadOld;       // first: ACKs + first frame, then one per host ACK
  std::deque<Bytes> onBlockRead;     // one reply per read block
  std::deque<Bytes> onBlockWrite;    // one reply per write block; empty: ACKs
  bool oldTransfer = false;

  static Bytes next(std::deque<Bytes>& q, const Bytes& fallback) {
    if (q.empty()) return fallback;
    Bytes r = q.front();
    q.pop_front();
    return r;
  }

  Reply answer(const SentFrame& f) {
    const Bytes& b = f.bytes;
    Bytes out;
    if (b.size() == terminal::kAddressConfirmationSize) {
      oldTransfer = false;  // a new session
      out = onConnect;
    } else if (b.size() >= 2 && b[0] == terminal::kStx) {
      switch (b[1]) {
        case terminal::kCmdSetClock: out = next(onSetClock, acks()); break;
        case terminal::kCmdBaudChange: out = next(onBaudChange, acks()); break;
        case terminal::kCmdClear: out = next(onClear, acks()); break;
        case terminal::kCmdReadNew: out = onReadNew; break;
        case terminal::kCmdReadOld:
          oldTransfer = true;
          out = next(onReadOld, {});
          break;
        case terminal::kCmdReadBlock: out = next(onBlockRead, {}); break;
        case terminal::kCmdWriteBlock: out = next(onBlockWrite, acks()); break;
        default: break;
      }
    } else if (b == acks() && oldTransfer) {
      out = next(onReadOld, {});
    }
    if (out.empty()) return {};
    return {{turnaround, out}};
  }

  Responder responder() {
    return [this](const SentFrame& f) { return answer(f); };
  }
};

}  // namespace mvcomm::testing
