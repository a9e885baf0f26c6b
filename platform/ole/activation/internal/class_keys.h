// File: platform/ole/activation/internal/class_keys.h
//
// Reads the string values under HKEY_CLASSES_ROOT that activation needs, and
// the braced text of a CLSID as a key name.
#pragma once

#include <optional>
#include <string>

#include "platform/ole/wtypes.h"

namespace mvcomm::ole::activation {

// The default value of HKEY_CLASSES_ROOT\keyPath as text, without its
// terminator; nullopt when the key or value is missing, is not a string, or
// the registry cannot be read.
std::optional<std::string> readDefaultText(const std::string& keyPath);

// "CLSID\{XXXXXXXX-...}" for the class.
std::string classKeyPath(REFCLSID clsid);

}  // namespace mvcomm::ole::activation
