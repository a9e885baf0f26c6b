// File: tests/registry/reg_helpers.h
//
// Small wrappers over the narrow registry calls for tests: open a key,
// read or write a string value, list a key's subkeys or values.
#pragma once

#include <string>
#include <vector>

#include "platform/registry/winreg.h"

namespace mvcomm::testing {

// A handle closed at scope exit.
class Key {
 public:
  Key() = default;
  explicit Key(HKEY handle) : handle_(handle) {}
  ~Key() {
    if (handle_ != nullptr) RegCloseKey(handle_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return handle_; }
  HKEY* out() { return &handle_; }

 private:
  HKEY handle_ = nullptr;
};

inline LONG setString(const char* path, const char* name, const std::string& text) {
  Key key;
  LONG err = RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                             nullptr, key.out(), nullptr);
  if (err != ERROR_SUCCESS) return err;
  return RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

// The value's text, or "<error N>" when it cannot be read.
inline std::string getString(const char* path, const char* name) {
  Key key;
  LONG err = RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE, key.out());
  if (err != ERROR_SUCCESS) return "<error " + std::to_string(err) + ">";
  DWORD size = 0;
  DWORD type = 0;
  err = RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size);
  if (err != ERROR_SUCCESS) return "<error " + std::to_string(err) + ">";
  std::string text(size, '\0');
  err = RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
  if (err != ERROR_SUCCESS) return "<error " + std::to_string(err) + ">";
  if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

inline bool keyExists(const char* path) {
  Key key;
  return RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

inline std::vector<std::string> subkeyNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[MVCOMM_REG_MAX_KEY_NAME + 1];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

inline std::vector<std::string> valueNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD length = sizeof name;
    if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

}  // namespace mvcomm::testing
