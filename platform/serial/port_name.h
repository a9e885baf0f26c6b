// File: platform/serial/port_name.h
//
// "COMn" to a device path: MVCOMM_COM<n> when set (a path, for adapters and
// pseudo-terminals), else /dev/ttyS<n-1>.
#pragma once

#include <string>
#include <string_view>

namespace mvcomm::serial {

// Returns 0 and the path, or ENOENT for a name that is not "COMn", n >= 1.
int resolvePortName(std::string_view name, std::string& path);

}  // namespace mvcomm::serial
