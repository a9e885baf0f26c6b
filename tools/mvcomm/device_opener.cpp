// File: tools/mvcomm/device_opener.cpp
#include "tools/mvcomm/device_opener.h"

#include "platform/serial/termios_port.h"

namespace mvcomm::cli {

DeviceOpener::DeviceOpener(std::string portName, std::string path)
    : portName_(std::move(portName)), path_(std::move(path)) {}

int DeviceOpener::open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) {
  if (name == portName_) return serial::TermiosPort::open(path_, port);
  serial::TermiosPortOpener usual;
  return usual.open(name, port);
}

}  // namespace mvcomm::cli
