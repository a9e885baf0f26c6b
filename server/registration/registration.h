// File: server/registration/registration.h
//
// Self-registration: the registry keys under HKEY_CLASSES_ROOT that let a
// client find and create the component, written and removed from a
// ServerDescriptor alone (no VM, no type library loading).
//
// The layout, by the step numbers the sources use ({clsid} and the rest are
// braced identifier texts; "(default)" is a key's unnamed value):
//   per class    1  CLSID\{clsid}                      (default) = progId
//                2  ...\InProcServer32                 (default) = serverPath
//                3  ...\InProcServer32                 ThreadingModel = "Apartment"
//                4  CLSID\{clsid}                      AppID = {appid}
//                5  CLSID\{clsid}                      "PowerBuilder nvo" = objectClassName
//                6  ...\ProgID, 7 ...\VersionIndependentProgID, 8 ...\Programmable (" ",
//                   automation classes only), 9 ...\TypeLib = {libid}
//               10  progId = objectClassName, 11 progId\CLSID = {clsid}
//               12  versionIndependentProgId = objectClassName, 13 ...\CLSID = {clsid},
//               14  ...\CurVer = versionText
//   library     15  TypeLib\{libid} = "", 16 ...\{major.minor} = description,
//               17  ...\FLAGS = "0", 18 ...\HELPDIR = folder, 19 ...\0\WIN32 = file
//   AppID       20  AppID\{appid} = "PowerBuilder 70 Component Server: <name>.dll"
//   interfaces  21  Interface\{iid} = name, 22 ...\ProxyStubClsid, 23 ...\ProxyStubClsid32,
//               24  ...\TypeLib = {libid}, 25 ...\TypeLib Version = "major.minor"
// Unregistration deletes U1-U4 (interface keys), U5-U7 (AppID's two library
// subkeys, then the AppID), U8-U13 (library keys, deepest first) and, per
// class, U14-U25 (InProcServer32, PBLibrarySearchPath, the CLSID subkeys, the
// CLSID key, then the two ProgID trees).
#pragma once

#include "platform/ole/wtypes.h"
#include "server/registration/server_descriptor.h"

namespace mvcomm::registration {

// Writes the class, ProgID, type library, AppID and interface keys in their
// fixed order. A failed registry write does not stop the sequence.
// Returns S_OK when every write succeeded; else HRESULT_FROM_WIN32 of the
// first failed write (the sequence still ran to its end); E_FAIL at once
// when a class identifier, the application identifier (at the class's AppID
// value or the AppID key) or the type library identifier (at the TypeLib
// key) cannot be turned into text, keeping what was written before. An
// interface whose identifier cannot be turned into text is skipped, and so
// is the class's TypeLib value when the library identifier cannot.
HRESULT registerServer(const ServerDescriptor& server);

// Deletes the keys again, children before parents. Interface keys and the
// AppID's two library subkeys are removed when present (their failures are
// ignored); every other deletion that fails stops the sequence.
// Returns S_OK; HRESULT_FROM_WIN32 of the registry error that stopped it
// (0x80070002 when the AppID key is missing: nothing was registered);
// E_FAIL at once when the application, type library or a class identifier
// cannot be turned into text.
HRESULT unregisterServer(const ServerDescriptor& server);

}  // namespace mvcomm::registration
