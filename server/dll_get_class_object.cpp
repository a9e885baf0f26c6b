// File: server/dll_get_class_object.cpp
//
// The exported class-object entry point: the cached PBCOMCF of MVComm.

#include "platform/no_throw.h"
#include "server/class_factory.h"
#include "server/module_descriptor.h"

// The class factory of `rclsid` asked for `riid`. Errors:
// CLASS_E_CLASSNOTAVAILABLE (unknown class; *ppv null), E_OUTOFMEMORY,
// E_NOINTERFACE (neither IUnknown nor IClassFactory), E_POINTER.
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) try {
  return mvcomm::server::getClassObject(mvcomm::server::moduleDescriptor().descriptor(), rclsid,
                                        riid, ppv);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}
