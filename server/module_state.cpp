// File: server/module_state.cpp
//
// The module's path and lock count.

#include "server/module_state.h"

#include <dlfcn.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <string>

namespace mvcomm::server {
namespace {

// Built on first use: the load hook may run before this file's static
// initialisers, which would otherwise wipe what it recorded.
std::string& pathStorage() {
  static std::string path;  // set once, by the load hook
  return path;
}
std::atomic<int32_t> gModuleLockCount{0};  // live objects + server locks (constant-initialised)

}  // namespace

const char* modulePath() { return pathStorage().c_str(); }
const std::string& modulePathText() { return pathStorage(); }

void recordModulePath(const void* addressInModule) {
  Dl_info info{};
  if (dladdr(addressInModule, &info) == 0 || info.dli_fname == nullptr) {
    pathStorage().clear();
    return;
  }
  // A module opened by a relative path reports that path; the session and
  // the registry need one that holds from any working directory.
  if (info.dli_fname[0] != '/') {
    if (char* full = realpath(info.dli_fname, nullptr)) {
      pathStorage() = full;
      std::free(full);
      return;
    }
  }
  pathStorage() = info.dli_fname;
}

void lockModule() { gModuleLockCount.fetch_add(1, std::memory_order_acq_rel); }
void unlockModule() { gModuleLockCount.fetch_sub(1, std::memory_order_acq_rel); }
int32_t moduleLockCount() { return gModuleLockCount.load(std::memory_order_acquire); }

}  // namespace mvcomm::server
