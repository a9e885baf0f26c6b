// File: platform/ole/activation/class_keys.cpp
//
// Registry reads for activation: one open, one query, one close.
#include "platform/ole/activation/internal/class_keys.h"

#include <vector>

#include "platform/ole/oleauto.h"
#include "platform/registry/winreg.h"

namespace mvcomm::ole::activation {

std::optional<std::string> readDefaultText(const std::string& keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::optional<std::string> text;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::vector<BYTE> data(size + 1, 0);
    DWORD got = size;
    if (RegQueryValueExA(key, nullptr, nullptr, &type, data.data(), &got) == ERROR_SUCCESS) {
      // Stop at the first terminator: stored strings carry one, and a value
      // written without it must not pull in what follows.
      std::string value(reinterpret_cast<const char*>(data.data()), got);
      value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
      text = std::move(value);
    }
  }
  RegCloseKey(key);
  return text;
}

std::string classKeyPath(REFCLSID clsid) {
  OLECHAR braced[40] = {};
  StringFromGUID2(clsid, braced, 40);
  std::string path = "CLSID\\";
  for (const OLECHAR* c = braced; *c != 0; ++c) path.push_back(static_cast<char>(*c));
  return path;
}

}  // namespace mvcomm::ole::activation
