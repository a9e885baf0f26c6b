// A minimal component module for the mvcomm-regsvr tests: it registers this
// component's layout with its own file as the server path, like the real
// module does.
#include <dlfcn.h>

#include <string>

#include "server/registration/component_descriptor.h"
#include "server/registration/registration.h"

namespace {

std::string ownPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ownPath), &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  static const std::string path = ownPath();
  mvcomm::registration::ComponentDescriptor component(&path, nullptr);
  return mvcomm::registration::registerServer(component.descriptor());
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  static const std::string path = ownPath();
  mvcomm::registration::ComponentDescriptor component(&path, nullptr);
  return mvcomm::registration::unregisterServer(component.descriptor());
}
