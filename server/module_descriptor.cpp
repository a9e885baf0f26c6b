// File: server/module_descriptor.cpp

#include "server/module_descriptor.h"

#include "server/load_type_library.h"
#include "server/module_state.h"

namespace mvcomm::server {
namespace {

HRESULT loadModuleTypeLibrary(ITypeLib** library) {
  return loadTypeLibrary(moduleDescriptor().descriptor(), library);
}

}  // namespace

registration::ComponentDescriptor& moduleDescriptor() {
  static registration::ComponentDescriptor instance(&modulePathText(), createMVCommObject);
  return instance;
}

component::ModuleBinding& testing::moduleBinding() {
  static component::ModuleBinding binding =
      component::sessionTableBinding(modulePath, loadModuleTypeLibrary, lockModule, unlockModule);
  return binding;
}

HRESULT createMVCommObject(void* session, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  component::MVComm* created = nullptr;
  const HRESULT st = component::MVComm::create(
      &testing::moduleBinding(), static_cast<vm::IVMSession*>(session), &created);
  if (st >= 0) *object = static_cast<IUnknown*>(static_cast<component::IMVComm*>(created));
  return st;
}

}  // namespace mvcomm::server
