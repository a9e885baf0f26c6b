// File: testing/convert_probe_context.h
//
// The value context of one n_cst_convert_probe object in the probe module,
// made on first use and kept for the whole process: benchmarks and fuzz
// targets need one VM session, not one per call. The including target
// defines MVCOMM_CONVERT_PROBE_MODULE.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "vm/vm_api.h"

namespace mvcomm::testing {

inline vm::IVMValueContext* probeValueContext() {
  static vm::IVMValueContext* made = [] {
    vm::IVMString* path = nullptr;
    vm::IVMString* cls = nullptr;
    vm::IVMSession* session = nullptr;
    vm::IVMObject* object = nullptr;
    vm::IVMValueContext* context = nullptr;
    if (vm::vmMakeString(MVCOMM_CONVERT_PROBE_MODULE, &path) < 0 ||
        vm::vmStartSession(nullptr, path, 1, 0, &session) < 0 ||
        vm::vmMakeString("n_cst_convert_probe", &cls) < 0 ||
        vm::vmCreateObject(cls, session, &object) < 0 || object->valueContext(&context) < 0) {
      std::fprintf(stderr, "cannot start the VM session\n");
      std::abort();
    }
    path->Release();
    cls->Release();
    return context;  // the session and object live as long as the process
  }();
  return made;
}

}  // namespace mvcomm::testing
