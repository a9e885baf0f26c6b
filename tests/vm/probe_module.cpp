// File: tests/vm/probe_module.cpp
//
// A module with a class library for the VM's tests: n_cst_probe has one
// instance variable of each kind the tests need (one read-only), functions
// with and without result, a failing one and a by-reference one, and events;
// n_cst_bare has nothing at all. Counters of constructor and destructor
// events are readable through plain exports.

#include <atomic>
#include <string>

#include "vm/class_library.h"
#include "vm/vm_api.h"

namespace {

using namespace mvcomm::vm;

std::atomic<int> gConstructed{0};
std::atomic<int> gDestroyed{0};

struct Probe {
  int16_t count = 0;        // ai_count, read/write
  int32_t total = 5;        // al_total, read only
  std::string label;        // as_label, read/write
  int32_t day = 1;          // ad_day: day number
  int32_t stampDay = 1;     // adt_stamp: day number
  int32_t stampSeconds = 0; // adt_stamp: seconds
};

Probe* self(void* p) { return static_cast<Probe*>(p); }

int32_t getCount(void* p, IVMValue* out) { return out->setInteger(self(p)->count); }
int32_t setCount(void* p, IVMValue* in) {
  int16_t v = 0;
  int32_t st = in->getInteger(&v);
  if (st >= 0) self(p)->count = v;
  return st;
}
int32_t getTotal(void* p, IVMValue* out) { return out->setLong(self(p)->total); }
int32_t getLabel(void* p, IVMValue* out) {
  IVMString* s = nullptr;
  int32_t st = vmMakeString(self(p)->label.c_str(), &s);
  if (st < 0) return st;
  st = out->setString(s);
  s->Release();
  return st;
}
int32_t setLabel(void* p, IVMValue* in) {
  IVMString* s = nullptr;
  int32_t st = in->getString(&s);
  if (st < 0) return st;
  const char* text = nullptr;
  st = s->text(&text);
  if (st >= 0) self(p)->label = text;
  s->Release();
  return st;
}
int32_t getDay(void* p, IVMValue* out) {
  IVMDateHelper* h = nullptr;
  int32_t st = vmMakeDateHelper(0, 0, 0, &h);
  if (st < 0) return st;
  IVMDate* d = nullptr;
  st = h->dateFromDayNumber(self(p)->day, &d);
  if (st >= 0) st = out->setDate(d);
  if (d) d->Release();
  h->Release();
  return st;
}
int32_t setDay(void* p, IVMValue* in) {
  IVMDateHelper* h = nullptr;
  int32_t st = vmMakeDateHelper(0, 0, 0, &h);
  if (st < 0) return st;
  IVMDate* d = nullptr;
  st = in->getDate(&d);
  int32_t n = 0;
  if (st >= 0) st = d->dayNumber(h, &n);
  if (st >= 0) self(p)->day = n;
  if (d) d->Release();
  h->Release();
  return st;
}

int32_t add(void*, IVMValue* const* args, IVMValue* result) {
  int32_t a = 0, b = 0;
  int32_t st = args[0]->getLong(&a);
  if (st >= 0) st = args[1]->getLong(&b);
  if (st >= 0) st = result->setLong(a + b);
  return st;
}
int32_t touch(void* p, IVMValue* const*, IVMValue*) {
  ++self(p)->count;
  return 0;
}
int32_t fail(void*, IVMValue* const*, IVMValue*) { return -42; }
int32_t bump(void*, IVMValue* const* args, IVMValue*) {
  int32_t v = 0;
  int32_t st = args[0]->getLong(&v);
  if (st >= 0) st = args[0]->setLong(v + 1);
  return st;
}
int32_t greet(void*, IVMValue* const* args, IVMValue* result) {
  IVMString* s = nullptr;
  int32_t st = args[0]->getString(&s);
  if (st < 0) return st;
  const char* text = nullptr;
  st = s->text(&text);
  std::string g = std::string("hello ") + (text ? text : "");
  s->Release();
  if (st < 0) return st;
  IVMString* r = nullptr;
  st = vmMakeString(g.c_str(), &r);
  if (st >= 0) st = result->setString(r);
  if (r) r->Release();
  return st;
}

int32_t onConstructor(void*, int32_t*) {
  ++gConstructed;
  return 0;
}
int32_t onDestructor(void*, int32_t*) {
  ++gDestroyed;
  return 0;
}
int32_t onPooled(void*, int32_t* rv) {
  *rv = 0xFFFF;
  return 0;
}
int32_t onPing(void* p, int32_t* rv) {
  *rv = 7 + self(p)->count;
  return 0;
}

constexpr int32_t kTwoLongs[] = {kTypeLong, kTypeLong};
constexpr int32_t kOneLong[] = {kTypeLong};
constexpr int32_t kOneString[] = {kTypeString};

constexpr VariableDef kProbeVariables[] = {
    {"ai_count", kTypeInteger, getCount, setCount},
    {"al_total", kTypeLong, getTotal, nullptr},
    {"as_label", kTypeString, getLabel, setLabel},
    {"ad_day", kTypeDate, getDay, setDay},
};
constexpr FunctionDef kProbeFunctions[] = {
    {"of_add", kTypeLong, 2, kTwoLongs, add},
    {"of_touch", kNoResult, 0, nullptr, touch},
    {"of_fail", kNoResult, 0, nullptr, fail},
    {"of_bump", kNoResult, 1, kOneLong, bump},
    {"of_greet", kTypeString, 1, kOneString, greet},
};
constexpr EventDef kProbeEvents[] = {
    {"constructor", onConstructor},
    {"destructor", onDestructor},
    {"pbm_component_canbepooled", onPooled},
    {"ue_ping", onPing},
};

void* makeProbe() { return new (std::nothrow) Probe; }
void dropProbe(void* p) { delete self(p); }
void* makeBare() { return new (std::nothrow) int(0); }
void dropBare(void* p) { delete static_cast<int*>(p); }

constexpr ClassDef kClasses[] = {
    {"n_cst_probe", makeProbe, dropProbe, kProbeVariables, 4, kProbeFunctions, 5, kProbeEvents, 4},
    {"n_cst_bare", makeBare, dropBare, nullptr, 0, nullptr, 0, nullptr, 0},
};
constexpr ClassLibrary kLibrary = {kClassLibraryVersion, kClasses, 2};

}  // namespace

extern "C" const ClassLibrary* mvcomm_vm_class_library() { return &kLibrary; }
extern "C" int probeConstructed() { return gConstructed.load(); }
extern "C" int probeDestroyed() { return gDestroyed.load(); }
