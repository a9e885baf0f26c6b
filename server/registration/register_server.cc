// File: server/registration/register_server.cc
//
// Registration: per class the CLSID and ProgID keys (steps 1-14), then the
// type library (15-19), the application identifier (20) and each automation
// interface (21-25). The order is fixed; a failed write is remembered and the
// sequence goes on, so one bad key does not leave the rest unwritten.
#include <string>

#include "platform/ole/winerror.h"
#include "platform/registry/registry_batch.h"
#include "server/registration/registration.h"
#include "server/registration/registry_layout.h"

namespace mvcomm::registration {
namespace {

// Collects the outcome of the writes: the first failure is the result.
class WriteLog {
 public:
  void write(const std::string& key, const char* name, const std::string& text) {
    LONG err = writeValue(key, name, text);
    if (err != ERROR_SUCCESS && first_ == ERROR_SUCCESS) first_ = err;
  }
  HRESULT result() const { return first_ == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(first_); }

 private:
  LONG first_ = ERROR_SUCCESS;  // registry error of the first failed write
};

bool hasAutomationInterface(const ClassEntry& entry) {
  for (std::size_t i = 0; i < entry.usedInterfaces(); ++i) {
    if (isAutomationKind(entry.interfaces[i].automationKind)) return true;
  }
  return false;
}

// Steps 1-14 for one class. E_FAIL when its identifier or the AppID has no text.
HRESULT registerClass(const ServerDescriptor& server, const ClassEntry& entry, const std::string& serverPath,
                      WriteLog& log) {
  std::string classText;
  if (FAILED(guidText(entry.classId, classText))) return E_FAIL;
  const std::string classKey = "CLSID\\" + classText;
  log.write(classKey, nullptr, entry.progId);                                    // 1
  log.write(classKey + "\\InProcServer32", nullptr, serverPath);                 // 2
  log.write(classKey + "\\InProcServer32", "ThreadingModel", "Apartment");       // 3
  std::string appText;
  if (FAILED(guidText(server.appId, appText))) return E_FAIL;
  log.write(classKey, "AppID", appText);                                         // 4
  log.write(classKey, "PowerBuilder nvo", entry.objectClassName);                // 5
  log.write(classKey + "\\ProgID", nullptr, entry.progId);                       // 6
  log.write(classKey + "\\VersionIndependentProgID", nullptr, entry.versionIndependentProgId);  // 7
  if (hasAutomationInterface(entry)) log.write(classKey + "\\Programmable", nullptr, " ");     // 8
  if (std::string libraryText; SUCCEEDED(guidText(server.typeLibraryId, libraryText))) {
    log.write(classKey + "\\TypeLib", nullptr, libraryText);                     // 9
  }
  log.write(entry.progId, nullptr, entry.objectClassName);                       // 10
  log.write(entry.progId + "\\CLSID", nullptr, classText);                       // 11
  log.write(entry.versionIndependentProgId, nullptr, entry.objectClassName);     // 12
  log.write(entry.versionIndependentProgId + "\\CLSID", nullptr, classText);     // 13
  log.write(entry.versionIndependentProgId + "\\CurVer", nullptr, entry.versionText);  // 14
  return S_OK;
}

HRESULT registerSteps(const ServerDescriptor& server) {
  const std::string serverPath = server.serverPath != nullptr ? *server.serverPath : std::string();
  WriteLog log;
  for (std::uint32_t c = 0; c < server.classCount && server.classes != nullptr; ++c) {
    if (HRESULT hr = registerClass(server, server.classes[c], serverPath, log); FAILED(hr)) return hr;
  }

  std::string libraryText;
  if (FAILED(guidText(server.typeLibraryId, libraryText))) return E_FAIL;
  const std::string version = libraryVersionText(server);
  const std::string libraryKey = "TypeLib\\" + libraryText;
  const std::string versionKey = libraryKey + "\\" + version;
  log.write(libraryKey, nullptr, "");                                            // 15
  log.write(versionKey, nullptr, server.typeLibraryDescription);                 // 16
  log.write(versionKey + "\\FLAGS", nullptr, "0");                               // 17
  log.write(versionKey + "\\HELPDIR", nullptr, helpDirectory(serverPath));       // 18
  log.write(versionKey + "\\0\\WIN32", nullptr, typeLibraryFile(server));        // 19

  std::string appText;
  if (FAILED(guidText(server.appId, appText))) return E_FAIL;
  log.write("AppID\\" + appText, nullptr,                                        // 20
            "PowerBuilder 70 Component Server: " + server.componentName + ".dll");

  for (std::uint32_t c = 0; c < server.classCount && server.classes != nullptr; ++c) {
    const ClassEntry& entry = server.classes[c];
    for (std::size_t i = 0; i < entry.usedInterfaces(); ++i) {
      const InterfaceEntry& iface = entry.interfaces[i];
      if (!isAutomationKind(iface.automationKind)) continue;
      std::string interfaceText;
      if (FAILED(guidText(iface.interfaceId, interfaceText))) continue;
      const std::string interfaceKey = "Interface\\" + interfaceText;
      log.write(interfaceKey, nullptr, iface.interfaceName);                     // 21
      log.write(interfaceKey + "\\ProxyStubClsid", nullptr, kAutomationMarshalerText);    // 22
      log.write(interfaceKey + "\\ProxyStubClsid32", nullptr, kAutomationMarshalerText);  // 23
      log.write(interfaceKey + "\\TypeLib", nullptr, libraryText);               // 24
      log.write(interfaceKey + "\\TypeLib", "Version", version);                 // 25
    }
  }
  return log.result();
}

}  // namespace

// The whole sequence is one registry transaction: a process killed half-way
// leaves the keys as they were, never a half-written registration that a
// rerun stops short of. A step that fails still leaves the steps before it
// done, as without the transaction.
HRESULT registerServer(const ServerDescriptor& server) {
  registry::Batch batch;
  HRESULT hr = registerSteps(server);
  if (batch.status() == ERROR_SUCCESS) {
    if (LONG err = batch.commit(); err != ERROR_SUCCESS && SUCCEEDED(hr)) hr = HRESULT_FROM_WIN32(err);
  }
  return hr;
}

}  // namespace mvcomm::registration
