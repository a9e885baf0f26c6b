// File: testing/convert_probe_module.cpp
//
// A module with one empty class, n_cst_convert_probe, so the converter tests
// can start a VM session and take a value context and a VM object from it.
#include <new>

#include "vm/class_library.h"

namespace {

using namespace mvcomm::vm;

void* makeProbe() { return new (std::nothrow) int(0); }
void dropProbe(void* p) { delete static_cast<int*>(p); }

constexpr ClassDef kClasses[] = {
    {"n_cst_convert_probe", makeProbe, dropProbe, nullptr, 0, nullptr, 0, nullptr, 0},
};
constexpr ClassLibrary kLibrary = {kClassLibraryVersion, kClasses, 1};

}  // namespace

extern "C" const ClassLibrary* mvcomm_vm_class_library() { return &kLibrary; }
