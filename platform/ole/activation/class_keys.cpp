// File: platform/ole/activation/class_keys.cpp
//
// Registry reads for activation: one open, one query, one close, remembered
// until the registry changes. Every activation asks for the same few keys
// (a class's InProcServer32, a ProgID's CLSID); asking SQLite each time cost
// most of CoGetClassObject, while a look at the registry's version costs one
// read transaction.
#include "platform/ole/activation/internal/class_keys.h"

#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/ole/oleauto.h"
#include "platform/registry/registry_version.h"
#include "platform/registry/winreg.h"

namespace mvcomm::ole::activation {
namespace {

// The value, or nullopt. *settled is false when the registry could not be
// read (busy, out of memory), an answer not worth remembering.
std::optional<std::string> queryDefaultText(const std::string& keyPath, bool* settled) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key);
  *settled = rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
  if (rc != ERROR_SUCCESS) return std::nullopt;
  std::optional<std::string> text;
  DWORD type = 0;
  DWORD size = 0;
  rc = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size);
  *settled = rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
  if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::vector<BYTE> data(size + 1, 0);
    DWORD got = size;
    rc = RegQueryValueExA(key, nullptr, nullptr, &type, data.data(), &got);
    *settled = rc == ERROR_SUCCESS;
    if (rc == ERROR_SUCCESS) {
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

// What was read, and at which registry version.
struct Remembered {
  registry::RegistryVersion version;
  std::optional<std::string> text;
};

// A bound on the remembered keys: a client probing many names must not grow
// the table without end.
constexpr size_t kMaxRemembered = 256;

std::mutex& rememberedLock() {
  static std::mutex lock;
  return lock;
}

// Never destroyed: activations may run from other libraries' exit code.
std::unordered_map<std::string, Remembered>& remembered() {
  static auto* table = new std::unordered_map<std::string, Remembered>();
  return *table;
}

}  // namespace

std::optional<std::string> readDefaultText(const std::string& keyPath) {
  // The version is taken before reading: a change that lands meanwhile moves
  // it past the one stored, so the next call reads again.
  registry::RegistryVersion version;
  const bool versioned = registry::currentRegistryVersion(&version) == ERROR_SUCCESS;
  if (versioned) {
    std::lock_guard<std::mutex> guard(rememberedLock());
    auto it = remembered().find(keyPath);
    if (it != remembered().end() && it->second.version == version) return it->second.text;
  }
  bool settled = false;
  std::optional<std::string> text = queryDefaultText(keyPath, &settled);
  if (versioned && settled) {
    std::lock_guard<std::mutex> guard(rememberedLock());
    auto& table = remembered();
    if (table.size() >= kMaxRemembered && table.count(keyPath) == 0) table.clear();
    table[keyPath] = Remembered{version, text};
  }
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
