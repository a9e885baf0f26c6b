// File: server/module_descriptor.h
//
// The module's one ServerDescriptor, with MVComm's create routine, and the
// binding that ties each MVComm object to this module (path, type library,
// lock count, thread session table).
#pragma once

#include "component/mvcomm_object.h"
#include "server/registration/component_descriptor.h"

namespace mvcomm::server {

// Built on first use; the module path is read at each use.
registration::ComponentDescriptor& moduleDescriptor();

// The class entry's create routine: an MVComm object with count 0 on
// `session` (null: a new session), placed in *object as its IUnknown.
HRESULT createMVCommObject(void* session, void** object);

namespace testing {
// The binding every new object gets. Tests may swap its session-table
// operations (to fail them) and must restore them.
component::ModuleBinding& moduleBinding();
}  // namespace testing

}  // namespace mvcomm::server
