// File: server/registration/registry_layout.cc
#include "server/registration/registry_layout.h"

#include "platform/ole/oleauto.h"
#include "platform/ole/winerror.h"

namespace mvcomm::registration {

HRESULT guidText(const GUID* guid, std::string& text) {
  if (guid == nullptr) return E_INVALIDARG;
  LPOLESTR wide = nullptr;
  HRESULT hr = StringFromCLSID(*guid, &wide);
  if (FAILED(hr)) return hr;
  if (wide == nullptr) return E_OUTOFMEMORY;
  std::string narrow;
  // The text is hex digits, braces and dashes: plain ASCII.
  for (const OLECHAR* p = wide; *p != 0; ++p) narrow += static_cast<char>(*p);
  CoTaskMemFree(wide);
  text = std::move(narrow);
  return S_OK;
}

std::string libraryVersionText(const ServerDescriptor& server) {
  return std::to_string(server.typeLibraryMajor) + "." + std::to_string(server.typeLibraryMinor);
}

std::string helpDirectory(const std::string& serverPath) {
  std::string::size_type slash = serverPath.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return serverPath.substr(0, slash);
}

std::string typeLibraryFile(const ServerDescriptor& server) {
  std::string path = server.serverPath != nullptr ? *server.serverPath : std::string();
  if (server.typeLibraryInServer != 0) return path;
  std::string::size_type slash = path.rfind('/');
  std::string::size_type dot = path.rfind('.');
  std::string::size_type nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (dot != std::string::npos && dot > nameStart) path.erase(dot);
  return path + ".tlb";
}

LONG writeValue(const std::string& keyPath, const char* valueName, const std::string& text) {
  HKEY key = nullptr;
  LONG err = RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_SET_VALUE, nullptr, &key, nullptr);
  if (err != ERROR_SUCCESS) return err;
  err = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return err;
}

LONG deleteKey(const std::string& keyPath) { return RegDeleteKeyA(HKEY_CLASSES_ROOT, keyPath.c_str()); }

std::vector<std::string> subkeyNames(const std::string& keyPath) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  char name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

}  // namespace mvcomm::registration
