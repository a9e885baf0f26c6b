// File: tests/registration/registry_dump.h
//
// The whole registry as a sorted map, for comparing registry contents.
#pragma once

#include <map>
#include <string>

#include "platform/registry/winreg.h"
#include "tests/registry/reg_helpers.h"

namespace mvcomm::testing {

// key path -> (value name -> text); "(default)" names the default value.
using RegistryDump = std::map<std::string, std::map<std::string, std::string>>;

inline void dumpKey(HKEY key, const std::string& path, RegistryDump& out) {
  auto& values = out[path];
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameLength = sizeof name;
    DWORD type = 0;
    DWORD size = 0;
    if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::string data(size, '\0');
    nameLength = sizeof name;
    RegEnumValueA(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (!data.empty() && data.back() == '\0') data.pop_back();
    values[nameLength == 0 ? "(default)" : std::string(name, nameLength)] = data;
  }
  for (const std::string& child : subkeyNames(key)) {
    Key sub;
    if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, sub.out()) == ERROR_SUCCESS) {
      dumpKey(sub.get(), path.empty() ? child : path + "\\" + child, out);
    }
  }
}

inline RegistryDump dumpRegistry() {
  RegistryDump out;
  dumpKey(HKEY_CLASSES_ROOT, "", out);
  out.erase("");  // the root itself
  return out;
}

}  // namespace mvcomm::testing
