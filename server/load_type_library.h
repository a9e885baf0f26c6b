// File: server/load_type_library.h
//
// The type library that describes IMVComm, for every new object: the
// registered copy when the registry knows it, else the one inside the module
// file, which is then registered on the spot, so objects work on a machine
// where the module was never registered.
#pragma once

#include "platform/ole/oaidl.h"
#include "server/registration/server_descriptor.h"

namespace mvcomm::server {

// Sets *library to null, then: S_OK with the registered library
// (LoadRegTypeLib); otherwise the library of serverPath (typeLibraryInServer)
// or of serverPath with its extension replaced by ".tlb", loaded with
// LoadTypeLib and registered with RegisterTypeLib under the whole path.
// Errors: E_POINTER for a null place; LoadTypeLib's and RegisterTypeLib's
// results unchanged (the loaded library is released when registering fails).
HRESULT loadTypeLibrary(const registration::ServerDescriptor& descriptor, ITypeLib** library);

}  // namespace mvcomm::server
