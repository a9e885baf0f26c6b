// File: platform/serial/port_name.cpp
#include "platform/serial/port_name.h"

#include <cerrno>
#include <cstdlib>

namespace mvcomm::serial {

int resolvePortName(std::string_view name, std::string& path) {
  if (name.size() < 4 || name.size() > 13 || name.substr(0, 3) != "COM") return ENOENT;
  std::string_view digits = name.substr(3);
  if (digits.front() == '0') return ENOENT;  // "COM0", "COM01": no such port
  long long n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return ENOENT;
    n = n * 10 + (c - '0');
  }
  std::string var = "MVCOMM_COM" + std::string(digits);
  if (const char* value = std::getenv(var.c_str()); value != nullptr && *value != '\0') {
    path = value;
  } else {
    path = "/dev/ttyS" + std::to_string(n - 1);
  }
  return 0;
}

}  // namespace mvcomm::serial
