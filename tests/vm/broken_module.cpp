// File: tests/vm/broken_module.cpp
//
// A module whose class library is malformed (an instance variable without a
// getter): sessions must refuse it rather than call through a null pointer.

#include "vm/class_library.h"

namespace {

using namespace mvcomm::vm;

void* make() { return nullptr; }
void drop(void*) {}

constexpr VariableDef kVariables[] = {{"ai_count", kTypeInteger, nullptr, nullptr}};
constexpr ClassDef kClasses[] = {{"n_cst_broken", make, drop, kVariables, 1, nullptr, 0, nullptr, 0}};
constexpr ClassLibrary kLibrary = {kClassLibraryVersion, kClasses, 1};

}  // namespace

extern "C" const ClassLibrary* mvcomm_vm_class_library() { return &kLibrary; }
