// File: platform/ole/typelib/reg_type_lib.cpp
//
// Type libraries in the registry, laid out as the platform lays them out:
//
//   TypeLib\{libid}\<major>.<minor>            (default) = help string or name
//   TypeLib\{libid}\<major>.<minor>\FLAGS      (default) = library flags, decimal
//   TypeLib\{libid}\<major>.<minor>\HELPDIR    (default) = help directory
//   TypeLib\{libid}\<major>.<minor>\<lcid>\win32 (default) = file
//   Interface\{iid}                             (default) = interface name
//   Interface\{iid}\ProxyStubClsid[32]          (default) = automation marshaler
//   Interface\{iid}\TypeLib                     (default) = {libid}, Version = <major>.<minor>
//
// Versions and locales are hexadecimal. Paths are whole, however long.
//
// Sections: registry helpers; registered files, remembered; LoadRegTypeLib;
// RegisterTypeLib; UnRegisterTypeLib.
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include "platform/no_throw.h"
#include "platform/ole/oleauto.h"
#include "platform/ole/typelib/load_type_lib.h"
#include "platform/ole/typelib/text16.h"
#include "platform/ole/typelib/tlb_model.h"
#include "platform/ole/typelib/type_lib.h"
#include "platform/registry/registry_version.h"
#include "platform/registry/winreg.h"

namespace mvcomm::typelib {
namespace {

// ---- registry helpers ------------------------------------------------------

class Key {
 public:
  Key() = default;
  ~Key() {
    if (h_) RegCloseKey(h_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &h_; }
  HKEY get() const { return h_; }

 private:
  HKEY h_ = nullptr;
};

std::string guidText(REFGUID g) {
  Guid b;
  std::memcpy(b.data(), &g, 16);
  return GuidToText(b);
}

std::string hexText(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", v);
  return buf;
}

std::string versionText(unsigned major, unsigned minor) { return hexText(major) + "." + hexText(minor); }

// Sets *failed when a registry call failed for another reason than a
// missing key or value: what was read then says nothing for sure.
void noteFailure(LONG rc, bool* failed) {
  if (failed != nullptr && rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND &&
      rc != ERROR_NO_MORE_ITEMS)
    *failed = true;
}

// The value's text, or nothing when the key or value is missing or not a string.
std::optional<std::string> readString(const std::string& path, const char* name = nullptr,
                                      bool* failed = nullptr) {
  Key k;
  LONG rc = RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, k.out());
  noteFailure(rc, failed);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0, size = 0;
  rc = RegQueryValueExA(k.get(), name, nullptr, &type, nullptr, &size);
  noteFailure(rc, failed);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  std::string data(size, '\0');
  rc = RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  noteFailure(rc, failed);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  data.resize(std::min<size_t>(size, data.size()));
  size_t nul = data.find('\0');
  if (nul != std::string::npos) data.resize(nul);
  return data;
}

std::vector<std::string> subkeys(const std::string& path, bool* failed = nullptr) {
  std::vector<std::string> out;
  Key k;
  LONG rc = RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, k.out());
  noteFailure(rc, failed);
  if (rc != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    char name[MVCOMM_REG_MAX_KEY_NAME + 1];
    DWORD len = sizeof name;
    rc = RegEnumKeyExA(k.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
    noteFailure(rc, failed);
    if (rc != ERROR_SUCCESS) break;
    out.emplace_back(name, len);
  }
  return out;
}

LONG writeString(const std::string& path, const char* name, const std::string& text) {
  Key k;
  LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, k.out(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  return RegSetValueExA(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

// Parses a whole hexadecimal number of at most 8 digits.
bool parseHex(const std::string& s, unsigned* out) {
  if (s.empty() || s.size() > 8) return false;
  unsigned v = 0;
  for (char c : s) {
    int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
          : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (d < 0) return false;
    v = v * 16 + static_cast<unsigned>(d);
  }
  *out = v;
  return true;
}

const char* sysKindName(SYSKIND k) {
  switch (k) {
    case SYS_WIN16: return "win16";
    case SYS_MAC: return "mac";
    case SYS_WIN64: return "win64";
    default: return "win32";
  }
}

constexpr const char* kOleAutomationMarshaler = "{00020424-0000-0000-C000-000000000046}";

// ---- registered files, remembered ------------------------------------------

// The file registered for a library, by the registry's keys alone: the exact
// major, the highest minor at or above the one asked for, then the locale
// asked for, its primary language, neutral, and for a neutral request any
// registered locale. Null when none is registered. *failed is set when the
// registry could not be read.
std::optional<std::string> registeredFile(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                          bool* failed) {
  const std::string base = "TypeLib\\" + guidText(rguid);
  std::string version;
  long bestMinor = -1;
  for (const std::string& k : subkeys(base, failed)) {
    size_t dot = k.find('.');
    unsigned major, minor;
    if (dot == std::string::npos || !parseHex(k.substr(0, dot), &major) ||
        !parseHex(k.substr(dot + 1), &minor))
      continue;
    if (major == wVerMajor && minor >= wVerMinor && static_cast<long>(minor) > bestMinor) {
      bestMinor = minor;
      version = k;
    }
  }
  if (bestMinor < 0) return std::nullopt;
  const std::string verKey = base + "\\" + version;
  std::vector<std::string> locales = {hexText(lcid), hexText(lcid & 0x3FF), "0"};
  if (lcid == 0)
    for (const std::string& k : subkeys(verKey, failed)) {
      unsigned v;
      if (parseHex(k, &v)) locales.push_back(k);
    }
  for (const std::string& loc : locales) {
    std::optional<std::string> path = readString(verKey + "\\" + loc + "\\win32", nullptr, failed);
    if (path && !path->empty()) return path;
  }
  return std::nullopt;
}

// What registeredFile found, at which registry version. Object creation asks
// for the same library every time; reading its keys cost most of that, while
// a look at the registry's version costs one read transaction.
struct RegisteredFile {
  mvcomm::registry::RegistryVersion version;
  std::optional<std::string> path;
};

struct LibraryAsked {
  Guid libId;
  WORD major;
  WORD minor;
  LCID lcid;
  bool operator<(const LibraryAsked& o) const {
    return std::tie(libId, major, minor, lcid) < std::tie(o.libId, o.major, o.minor, o.lcid);
  }
};

// A bound on the libraries remembered: callers asking for many must not grow
// the table without end.
constexpr size_t kMaxRegisteredFiles = 64;

std::mutex& registeredLock() {
  static std::mutex m;
  return m;
}

// Never destroyed: loads may run from other libraries' exit code.
std::map<LibraryAsked, RegisteredFile>& registeredFiles() {
  static auto* files = new std::map<LibraryAsked, RegisteredFile>;
  return *files;
}

// registeredFile, answered from memory while the registry has not changed.
std::optional<std::string> rememberedFile(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid) {
  LibraryAsked asked{{}, wVerMajor, wVerMinor, lcid};
  std::memcpy(asked.libId.data(), &rguid, 16);
  // The version is taken before reading: a change that lands meanwhile moves
  // it past the one stored, so the next call reads again.
  mvcomm::registry::RegistryVersion version;
  const bool versioned = mvcomm::registry::currentRegistryVersion(&version) == ERROR_SUCCESS;
  if (versioned) {
    std::lock_guard<std::mutex> g(registeredLock());
    auto it = registeredFiles().find(asked);
    if (it != registeredFiles().end() && it->second.version == version) return it->second.path;
  }
  bool failed = false;
  std::optional<std::string> path = registeredFile(rguid, wVerMajor, wVerMinor, lcid, &failed);
  if (versioned && !failed) {
    std::lock_guard<std::mutex> g(registeredLock());
    auto& files = registeredFiles();
    if (files.size() >= kMaxRegisteredFiles && files.count(asked) == 0) files.clear();
    files[asked] = RegisteredFile{version, path};
  }
  return path;
}

}  // namespace

void ForgetRegisteredPaths() {
  std::lock_guard<std::mutex> g(registeredLock());
  registeredFiles().clear();
}
}  // namespace mvcomm::typelib

using namespace mvcomm::typelib;

// ---- LoadRegTypeLib ----------------------------------------------------------

WINOLEAUTAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                            ITypeLib** pptlib) try {
  if (!pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  if (std::memcmp(&rguid, StdOle::kLibId.data(), 16) == 0 && wVerMajor == 2)
    return LoadTypeLibFromPath(StdOle::kFile, pptlib);

  const std::optional<std::string> path = rememberedFile(rguid, wVerMajor, wVerMinor, lcid);
  if (!path) return TYPE_E_LIBNOTREGISTERED;
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibFromPath(*path, &lib);
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  bool same = SUCCEEDED(lib->GetLibAttr(&attr)) && IsEqualGUID(attr->guid, rguid);
  if (attr) lib->ReleaseTLibAttr(attr);
  if (!same) {
    lib->Release();
    return TYPE_E_LIBNOTREGISTERED;  // the registered file holds another library
  }
  *pptlib = lib;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

// ---- RegisterTypeLib ---------------------------------------------------------

WINOLEAUTAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) try {
  if (!ptlib || !szFullPath) return E_INVALIDARG;
  constexpr size_t kMaxPath = 32767;
  size_t n = BoundedLength(szFullPath, kMaxPath);
  if (n == 0 || n > kMaxPath) return E_INVALIDARG;
  const std::string path = Utf16ToUtf8(std::u16string_view(szFullPath, n));
  std::string helpDir;
  if (szHelpDir) {
    size_t h = BoundedLength(szHelpDir, kMaxPath);
    if (h > kMaxPath) return E_INVALIDARG;
    helpDir = Utf16ToUtf8(std::u16string_view(szHelpDir, h));
  } else {
    size_t slash = path.rfind('/');
    helpDir = slash == std::string::npos ? std::string() : path.substr(0, slash);
  }

  TLIBATTR* attr = nullptr;
  HRESULT hr = ptlib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  const TLIBATTR a = *attr;
  ptlib->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr;
  hr = ptlib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  if (FAILED(hr)) return hr;
  std::string description = Utf16ToUtf8(doc ? doc : name ? name : u"");
  SysFreeString(name);
  SysFreeString(doc);

  const std::string libId = guidText(a.guid);
  const std::string version = versionText(a.wMajorVerNum, a.wMinorVerNum);
  const std::string verKey = "TypeLib\\" + libId + "\\" + version;
  LONG rc = ERROR_SUCCESS;
  auto write = [&rc](const std::string& key, const char* value, const std::string& text) {
    if (rc == ERROR_SUCCESS) rc = writeString(key, value, text);
  };
  write(verKey, nullptr, description);
  write(verKey + "\\FLAGS", nullptr, std::to_string(a.wLibFlags));
  write(verKey + "\\HELPDIR", nullptr, helpDir);
  write(verKey + "\\" + hexText(a.lcid) + "\\" + sysKindName(a.syskind), nullptr, path);

  // Interfaces that automation can marshal get the automation marshaler.
  UINT count = ptlib->GetTypeInfoCount();
  for (UINT i = 0; i < count && rc == ERROR_SUCCESS; ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(ptlib->GetTypeInfo(i, &info))) continue;
    TYPEATTR* ta = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&ta))) {
      bool marshaled = ta->typekind == TKIND_DISPATCH ||
                       (ta->typekind == TKIND_INTERFACE &&
                        (ta->wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)));
      if (marshaled) {
        BSTR iname = nullptr;
        if (SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, &iname, nullptr, nullptr, nullptr))) {
          const std::string key = "Interface\\" + guidText(ta->guid);
          write(key, nullptr, Utf16ToUtf8(iname ? iname : u""));
          write(key + "\\ProxyStubClsid", nullptr, kOleAutomationMarshaler);
          write(key + "\\ProxyStubClsid32", nullptr, kOleAutomationMarshaler);
          write(key + "\\TypeLib", nullptr, libId);
          write(key + "\\TypeLib", "Version", version);
          SysFreeString(iname);
        }
      }
      info->ReleaseTypeAttr(ta);
    }
    info->Release();
  }
  return rc == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

// ---- UnRegisterTypeLib ---------------------------------------------------------

WINOLEAUTAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                               SYSKIND syskind) try {
  const std::string libId = guidText(libID);
  const std::string libKey = "TypeLib\\" + libId;
  const std::string verKey = libKey + "\\" + versionText(wVerMajor, wVerMinor);
  const std::string locKey = verKey + "\\" + hexText(lcid);
  const std::string fileKey = locKey + "\\" + sysKindName(syskind);
  std::optional<std::string> path = readString(fileKey);
  if (!path) return TYPE_E_REGISTRYACCESS;

  // The library's interfaces, when its file can still be read.
  ITypeLib* lib = nullptr;
  if (SUCCEEDED(LoadTypeLibFromPath(*path, &lib))) {
    UINT count = lib->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
      ITypeInfo* info = nullptr;
      if (FAILED(lib->GetTypeInfo(i, &info))) continue;
      TYPEATTR* ta = nullptr;
      if (SUCCEEDED(info->GetTypeAttr(&ta))) {
        const std::string key = "Interface\\" + guidText(ta->guid);
        // Only keys that still point at this library.
        std::optional<std::string> owner = readString(key + "\\TypeLib");
        if (owner && Fold(Utf8ToUtf16(*owner)) == Fold(Utf8ToUtf16(libId)))
          RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
        info->ReleaseTypeAttr(ta);
      }
      info->Release();
    }
    lib->Release();
  }
  if (RegDeleteKeyA(HKEY_CLASSES_ROOT, fileKey.c_str()) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  if (subkeys(locKey).empty()) RegDeleteKeyA(HKEY_CLASSES_ROOT, locKey.c_str());
  bool otherLocales = false;
  for (const std::string& k : subkeys(verKey)) {
    unsigned v;
    if (parseHex(k, &v)) otherLocales = true;
  }
  if (!otherLocales) RegDeleteTreeA(HKEY_CLASSES_ROOT, verKey.c_str());
  if (subkeys(libKey).empty()) RegDeleteKeyA(HKEY_CLASSES_ROOT, libKey.c_str());
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}
