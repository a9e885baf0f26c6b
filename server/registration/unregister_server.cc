// File: server/registration/unregister_server.cc
//
// Unregistration: the interface keys (U1-U4, failures ignored), the AppID
// (U5-U7), the type library (U8-U13) and each class (U14-U25), always
// children before parents. The library may also have registered itself
// (RegisterTypeLib, when an object was made before DllRegisterServer ran),
// under its own locale: those locale keys go before the version key. Apart from the interface keys and the AppID's
// optional library subkeys, a deletion that fails ends the sequence: a
// missing AppID means nothing (or someone else's copy) is registered, and
// the class and library keys are then left alone.
#include <string>

#include "platform/ole/winerror.h"
#include "platform/registry/registry_batch.h"
#include "server/registration/registration.h"
#include "server/registration/registry_layout.h"

namespace mvcomm::registration {
namespace {

bool hasAutomationInterface(const ClassEntry& entry) {
  for (std::size_t i = 0; i < entry.usedInterfaces(); ++i) {
    if (isAutomationKind(entry.interfaces[i].automationKind)) return true;
  }
  return false;
}

// Runs deletions in order until one fails; `failure` then holds its status.
class StopOnFailure {
 public:
  bool remove(const std::string& key) {
    if (failure_ != S_OK) return false;
    if (LONG err = deleteKey(key); err != ERROR_SUCCESS) failure_ = HRESULT_FROM_WIN32(err);
    return failure_ == S_OK;
  }
  HRESULT failure() const { return failure_; }

 private:
  HRESULT failure_ = S_OK;
};

// A locale key is a hexadecimal number (RegisterTypeLib writes "409").
bool isLocaleName(const std::string& name) {
  return !name.empty() && name.size() <= 8 &&
         name.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// The locale keys under the library's version key, with their platform keys
// (win16, win32, win64), as the library's own registration writes them.
bool removeOwnLocaleKeys(StopOnFailure& steps, const std::string& versionKey) {
  for (const std::string& locale : subkeyNames(versionKey)) {
    if (!isLocaleName(locale)) continue;
    const std::string localeKey = versionKey + "\\" + locale;
    for (const std::string& platform : subkeyNames(localeKey)) {
      if (!steps.remove(localeKey + "\\" + platform)) return false;
    }
    if (!steps.remove(localeKey)) return false;
  }
  return true;
}

HRESULT unregisterSteps(const ServerDescriptor& server) {
  for (std::uint32_t c = 0; c < server.classCount && server.classes != nullptr; ++c) {
    const ClassEntry& entry = server.classes[c];
    for (std::size_t i = 0; i < entry.usedInterfaces(); ++i) {
      const InterfaceEntry& iface = entry.interfaces[i];
      if (!isAutomationKind(iface.automationKind)) continue;
      std::string interfaceText;
      if (FAILED(guidText(iface.interfaceId, interfaceText))) continue;
      const std::string interfaceKey = "Interface\\" + interfaceText;
      deleteKey(interfaceKey + "\\ProxyStubClsid");    // U1
      deleteKey(interfaceKey + "\\ProxyStubClsid32");  // U2
      deleteKey(interfaceKey + "\\TypeLib");           // U3
      deleteKey(interfaceKey);                         // U4
    }
  }

  std::string appText;
  if (FAILED(guidText(server.appId, appText))) return E_FAIL;
  const std::string appKey = "AppID\\" + appText;
  deleteKey(appKey + "\\PBLibrarySearchPath");  // U5
  deleteKey(appKey + "\\PBLibraryDirectory");   // U6
  StopOnFailure steps;
  if (!steps.remove(appKey)) return steps.failure();  // U7

  std::string libraryText;
  if (FAILED(guidText(server.typeLibraryId, libraryText))) return E_FAIL;
  const std::string versionKey = "TypeLib\\" + libraryText + "\\" + libraryVersionText(server);
  if (!steps.remove(versionKey + "\\0\\Win32") ||  // U8
      !steps.remove(versionKey + "\\0") ||         // U9
      !steps.remove(versionKey + "\\FLAGS") ||     // U10
      !steps.remove(versionKey + "\\HELPDIR") ||   // U11
      !removeOwnLocaleKeys(steps, versionKey) ||
      !steps.remove(versionKey) ||                 // U12
      !steps.remove("TypeLib\\" + libraryText)) {  // U13
    return steps.failure();
  }

  for (std::uint32_t c = 0; c < server.classCount && server.classes != nullptr; ++c) {
    const ClassEntry& entry = server.classes[c];
    std::string classText;
    if (FAILED(guidText(entry.classId, classText))) return E_FAIL;
    const std::string classKey = "CLSID\\" + classText;
    if (!steps.remove(classKey + "\\InProcServer32")) return steps.failure();  // U14
    deleteKey(classKey + "\\PBLibrarySearchPath");                               // U15
    if (!steps.remove(classKey + "\\ProgID") ||                                  // U16
        !steps.remove(classKey + "\\VersionIndependentProgID") ||                // U17
        (hasAutomationInterface(entry) && !steps.remove(classKey + "\\Programmable")) ||  // U18
        !steps.remove(classKey + "\\TypeLib") ||                                 // U19
        !steps.remove(classKey) ||                                               // U20
        !steps.remove(entry.progId + "\\CLSID") ||                               // U21
        !steps.remove(entry.progId) ||                                           // U22
        !steps.remove(entry.versionIndependentProgId + "\\CLSID") ||             // U23
        !steps.remove(entry.versionIndependentProgId + "\\CurVer") ||            // U24
        !steps.remove(entry.versionIndependentProgId)) {                         // U25
      return steps.failure();
    }
  }
  return S_OK;
}

}  // namespace

// The whole sequence is one registry transaction: a process killed half-way
// leaves the keys as they were, never a half-removed registration that a
// rerun stops short of. A step that fails still leaves the steps before it
// done, as without the transaction.
HRESULT unregisterServer(const ServerDescriptor& server) {
  registry::Batch batch;
  HRESULT hr = unregisterSteps(server);
  if (batch.status() == ERROR_SUCCESS) {
    if (LONG err = batch.commit(); err != ERROR_SUCCESS && SUCCEEDED(hr)) hr = HRESULT_FROM_WIN32(err);
  }
  return hr;
}

}  // namespace mvcomm::registration
