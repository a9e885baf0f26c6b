// File: server/registration/registration.h
//
// Self-registration: the registry keys under HKEY_CLASSES_ROOT that let a
// client find and create the component, written and removed from a
// ServerDescriptor alone (no VM, no type library loading).
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
