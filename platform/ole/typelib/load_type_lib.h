// File: platform/ole/typelib/load_type_lib.h
//
// The loader behind LoadTypeLib, for the rest of the typelib room, tests and
// tools: load by narrow path, load from bytes, and empty the cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ole/oaidl.h"
#include "platform/ole/typelib/tlb_model.h"

namespace mvcomm::typelib {

// A library from a .tlb file, a module's ".mvtypelib" section, or the
// built-in standard library ("stdole2.tlb"). Errors: TYPE_E_CANTLOADLIBRARY
// (missing, unreadable, not a library, damaged), TYPE_E_UNSUPFORMAT (a newer
// format), E_OUTOFMEMORY. Cached by file; *pptlib holds a new reference.
HRESULT LoadTypeLibFromPath(const std::string& path, ITypeLib** pptlib);

// A library from bytes in our format, not cached. Errors as above.
HRESULT LoadTypeLibFromMemory(const uint8_t* data, size_t size, ITypeLib** pptlib);

// The model of the library in a .tlb or module file, uncached; false with
// the reason in *why when there is none or it is damaged.
bool ReadLibraryFile(const std::string& path, Library* lib, std::string* why);

// Releases the cache's references (clients keep theirs) and forgets the
// files LoadRegTypeLib found registered; the next load reads the registry
// and the file again.
void DropTypeLibCache();

// Forgets the files LoadRegTypeLib found registered (reg_type_lib.cpp).
void ForgetRegisteredPaths();

// True for the names of the standard library, which is built in.
bool IsStdOleFileName(const std::string& path);

}  // namespace mvcomm::typelib
