// File: server/load_type_library.cpp
//
// Nothing is cached here: each object creation asks the registry again and
// reaches the file only while the library is not registered. That stays
// cheap because the loader keeps parsed files, and LoadRegTypeLib answers
// from what it read last while the registry's version has not moved.

#include "server/load_type_library.h"

#include <string>

#include "platform/ole/oleauto.h"
#include "platform/ole/typelib/text16.h"

namespace mvcomm::server {
namespace {

// serverPath itself, or its directory and base name followed by ".tlb".
std::string libraryFile(const registration::ServerDescriptor& d) {
  const std::string server = d.serverPath != nullptr ? *d.serverPath : std::string();
  if (d.typeLibraryInServer != 0) return server;
  const size_t slash = server.find_last_of('/');
  const size_t dot = server.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? server.substr(0, dot) : server) + ".tlb";
}

}  // namespace

HRESULT loadTypeLibrary(const registration::ServerDescriptor& descriptor, ITypeLib** library) {
  if (library == nullptr) return E_POINTER;
  *library = nullptr;
  if (descriptor.typeLibraryId != nullptr &&
      LoadRegTypeLib(*descriptor.typeLibraryId, static_cast<WORD>(descriptor.typeLibraryMajor),
                     static_cast<WORD>(descriptor.typeLibraryMinor), 0, library) >= 0 &&
      *library != nullptr)
    return S_OK;
  *library = nullptr;

  // The whole path: a path cut short would name a file that does not exist.
  const std::u16string path = typelib::Utf8ToUtf16(libraryFile(descriptor));
  ITypeLib* loaded = nullptr;
  HRESULT hr = LoadTypeLib(path.c_str(), &loaded);
  if (hr < 0) return hr;
  hr = RegisterTypeLib(loaded, path.c_str(), nullptr);
  if (hr < 0) {
    loaded->Release();
    return hr;
  }
  *library = loaded;
  return S_OK;
}

}  // namespace mvcomm::server
