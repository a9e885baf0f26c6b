// File: tests/txn/pooled_module.cpp
//
// A class library for the companion's tests: n_cst_pooled answers the three
// transaction-server events (counting them; pooling answers 0xFFFF), and
// n_cst_plain declares none.

#include <atomic>
#include <new>

#include "vm/class_library.h"

namespace {

using namespace mvcomm::vm;

std::atomic<int> gActivated{0};
std::atomic<int> gDeactivated{0};

void* make() { return new (std::nothrow) int(0); }
void drop(void* p) { delete static_cast<int*>(p); }
int32_t none(void*, int32_t*) { return 0; }
int32_t onActivate(void*, int32_t* rv) {
  ++gActivated;
  *rv = 1;
  return 0;
}
int32_t onDeactivate(void*, int32_t*) {
  ++gDeactivated;
  return 0;
}
int32_t onPooled(void*, int32_t* rv) {
  *rv = 0xFFFF;  // 16-bit -1: counts as true
  return 0;
}

constexpr EventDef kPooledEvents[] = {
    {"constructor", none},
    {"pbm_component_activate", onActivate},
    {"pbm_component_deactivate", onDeactivate},
    {"pbm_component_canbepooled", onPooled},
};
constexpr ClassDef kClasses[] = {
    {"n_cst_pooled", make, drop, nullptr, 0, nullptr, 0, kPooledEvents, 4},
    {"n_cst_plain", make, drop, nullptr, 0, nullptr, 0, nullptr, 0},
};
constexpr ClassLibrary kLibrary = {kClassLibraryVersion, kClasses, 2};

}  // namespace

extern "C" const ClassLibrary* mvcomm_vm_class_library() { return &kLibrary; }
extern "C" int pooledActivations() { return gActivated.load(); }
extern "C" int pooledDeactivations() { return gDeactivated.load(); }
