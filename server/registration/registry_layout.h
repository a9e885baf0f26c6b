// File: server/registration/registry_layout.h
//
// The pieces of the registry layout that registration and unregistration
// share: identifier text, derived paths, one write, one deletion.
#pragma once

#include <string>
#include <vector>

#include "platform/ole/wtypes.h"
#include "platform/registry/winreg.h"
#include "server/registration/server_descriptor.h"

namespace mvcomm::registration {

// Proxy/stub of every registered automation interface.
inline constexpr char kAutomationMarshalerText[] = "{00020420-0000-0000-C000-000000000046}";

// The braced upper-case text of `guid` ("{8-4-4-4-12}"). Errors:
// E_INVALIDARG for a null guid, E_OUTOFMEMORY from StringFromCLSID.
HRESULT guidText(const GUID* guid, std::string& text);

// "major.minor" of the type library: "1.0".
std::string libraryVersionText(const ServerDescriptor& server);

// The folder of `serverPath` without the final separator ("/" for a file in
// the root, empty for a bare file name).
std::string helpDirectory(const std::string& serverPath);

// The type library's file: serverPath itself when the library is inside it,
// else serverPath with its extension replaced by ".tlb".
std::string typeLibraryFile(const ServerDescriptor& server);

// Creates (or opens) HKEY_CLASSES_ROOT\keyPath and sets one REG_SZ value
// (null name: the default value). Returns the registry's error number.
LONG writeValue(const std::string& keyPath, const char* valueName, const std::string& text);

// Deletes HKEY_CLASSES_ROOT\keyPath, which must have no subkeys. Returns the
// registry's error number.
LONG deleteKey(const std::string& keyPath);

// The names of the subkeys of HKEY_CLASSES_ROOT\keyPath; none when it cannot
// be opened.
std::vector<std::string> subkeyNames(const std::string& keyPath);

}  // namespace mvcomm::registration
