// File: tools/mvcomm/device_opener.h
//
// --device PATH: this run's port "COM<n>" opens PATH; any other name
// resolves as usual (MVCOMM_COM<n>, else /dev/ttyS<n-1>).
#pragma once

#include <memory>
#include <string>

#include "platform/serial/serial_port.h"

namespace mvcomm::cli {

class DeviceOpener final : public serial::PortOpener {
 public:
  DeviceOpener(std::string portName, std::string path);
  int open(const std::string& name, std::unique_ptr<serial::SerialPort>& port) override;

 private:
  std::string portName_;   // "COM1"
  std::string path_;       // the device it opens
};

}  // namespace mvcomm::cli
