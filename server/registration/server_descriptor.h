// File: server/registration/server_descriptor.h
//
// Everything the module knows about itself: its classes, their interfaces,
// the type library and the application identifier. The class factory,
// self-registration and type library loading all work from one
// ServerDescriptor.
//
// Texts are whole std::strings (no fixed buffers), so a long module path is
// registered as it is rather than cut to a file that does not exist.
//
// Two fields are filled by the module, not here:
//   ClassEntry::factory       the class's cached PBCOMCF (mvcomm::server), set
//                             by the first DllGetClassObject; a forward
//                             declaration is enough for this layer.
//   ClassEntry::createRoutine CreateRoutine below: (VM session handle or null,
//                             place for the new object as void**) -> status;
//                             the object placed there is its IUnknown.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/ole/wtypes.h"

namespace mvcomm::server {
class PBCOMCF;
}

namespace mvcomm::registration {

// Creates one automation object. `session` is the calling thread's VM
// session handle, or null to start one; on success *object holds the new
// object's IUnknown with a reference count of 0 (the factory adds the first
// reference). Returns S_OK or a negative status.
using CreateRoutine = HRESULT (*)(void* session, void** object);

// automationKind values that register an interface as an automation
// interface (Programmable, Interface\{iid}).
inline bool isAutomationKind(std::uint32_t kind) { return kind == 1 || kind == 2; }

struct InterfaceEntry {
  const GUID* interfaceId = nullptr;  // IMVComm's identifier; null cannot be turned into text
  std::string interfaceName;          // "IMVComm"
  std::uint32_t automationKind = 0;   // 1 or 2: registered as an automation interface
};

inline constexpr std::size_t kInterfaceRoom = 1;  // interfaces a class entry has room for

struct ClassEntry {
  const GUID* classId = nullptr;                         // coclass identifier
  std::uint32_t interfaceCount = 0;                      // used entries of `interfaces` (at most kInterfaceRoom)
  std::array<InterfaceEntry, kInterfaceRoom> interfaces;
  std::string objectClassName;                           // VM class created: "n_cst_mvcomm"
  std::string versionIndependentProgId;                  // "MVComm.MVComm"
  std::string progId;                                    // "MVComm.MVComm.1.0"
  std::string versionText;                               // "1.0", the CurVer value
  server::PBCOMCF* factory = nullptr;                    // cached class factory, set on first use
  CreateRoutine createRoutine = nullptr;                 // object creation; null: E_FAIL

  // The used interface entries, never past the room.
  std::size_t usedInterfaces() const { return interfaceCount < kInterfaceRoom ? interfaceCount : kInterfaceRoom; }
};

struct ServerDescriptor {
  std::uint32_t classCount = 0;               // entries in `classes`
  const std::string* libraryPath = nullptr;   // library a VM session starts with (modulePath)
  std::uint32_t serverKind = 0;               // 0: in-process server (InProcServer32)
  std::uint32_t threadingModel = 0;           // 0: "Apartment"
  std::string componentName;                  // "MVComm"
  const std::string* serverPath = nullptr;    // registered server file (modulePath)
  std::uint32_t typeLibraryInServer = 0;      // 1: the type library is inside serverPath
  std::string typeLibraryDescription;         // "Morvane Communication Component 1.0 TypeLib"
  std::uint32_t typeLibraryMajor = 0;         // 1
  std::uint32_t typeLibraryMinor = 0;         // 0
  const GUID* typeLibraryId = nullptr;        // the library identifier
  ClassEntry* classes = nullptr;              // classCount entries
  const GUID* appId = nullptr;                // the application identifier
};

}  // namespace mvcomm::registration
