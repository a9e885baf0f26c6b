// File: server/module_entry.cpp
//
// The module's entry points: the load hook, DllCanUnloadNow and the
// self-registration exports. DllGetClassObject is in dll_get_class_object.cpp.
//
// Load: the thread session table is cleared, the module path recorded and
// the VM's runtime prepared, before any object can be requested.
// Thread end: the session table's own per-thread exit hook forgets the
// thread (vm/session_table.cpp), so nothing is registered here.
// Unload: nothing to tear down. The table lock lives in the VM library and
// outlives this module; sessions, factories and the table stay as they are.

#include "platform/no_throw.h"
#include "platform/ole/winerror.h"
#include "platform/ole/wtypes.h"
#include "server/module_state.h"
#include "vm/session_table.h"
#include "vm/vm_api.h"

#include "server/module_descriptor.h"
#if defined(MVCOMM_HAVE_REGISTRATION)
#include "server/registration/registration.h"
#endif

namespace mvcomm::server {
namespace {

__attribute__((constructor)) void onModuleLoad() {
  vm::SessionTable::clear();
  recordModulePath(reinterpret_cast<const void*>(&onModuleLoad));
  (void)vm::vmPrepareRuntime();
}

}  // namespace
}  // namespace mvcomm::server

// S_OK when no object is alive and no server lock is held; S_FALSE otherwise.
STDAPI DllCanUnloadNow() {
  return mvcomm::server::moduleLockCount() == 0 ? S_OK : S_FALSE;
}

// Writes (or removes) the component's registry keys. E_NOTIMPL until the
// registration room is part of the module.
STDAPI DllRegisterServer() try {
#if defined(MVCOMM_HAVE_REGISTRATION)
  return mvcomm::registration::registerServer(mvcomm::server::moduleDescriptor().descriptor());
#else
  return E_NOTIMPL;
#endif
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

STDAPI DllUnregisterServer() try {
#if defined(MVCOMM_HAVE_REGISTRATION)
  return mvcomm::registration::unregisterServer(mvcomm::server::moduleDescriptor().descriptor());
#else
  return E_NOTIMPL;
#endif
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}
