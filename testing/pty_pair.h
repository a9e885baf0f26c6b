// File: testing/pty_pair.h
//
// A pseudo-terminal for real-time tests of the termios backend: the slave
// is the host's port ("COMn" through MVCOMM_COM<n>), the master plays the
// far end of the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mvcomm::testing {

class PtyPair {
 public:
  // Opens a master and names its slave as port `comNumber`.
  explicit PtyPair(int comNumber);
  ~PtyPair();

  int master() const { return master_; }
  const std::string& slavePath() const { return slave_; }
  std::string portName() const { return "COM" + std::to_string(com_); }

  // Writes all of `bytes` to the master.
  void send(const std::vector<std::uint8_t>& bytes);
  // Reads from the master until `count` bytes arrived or `timeoutMs` passed.
  std::vector<std::uint8_t> receive(std::size_t count, int timeoutMs);
  void closeMaster();

  // The slave's settings as the master sees them (termios2).
  struct Seen {
    unsigned cflag;
    unsigned ospeed;
  };
  Seen settings() const;
  static constexpr unsigned kCmspar = 010000000000;
  static constexpr unsigned kParodd = 0001000;

 private:
  int master_ = -1;
  int com_;
  std::string slave_;
};

}  // namespace mvcomm::testing
