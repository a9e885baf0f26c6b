// File: server/class_library.cpp
//
// The module's class library: what a VM session started on this module's
// path can create. It holds one class, n_cst_mvcomm, with its twelve
// properties (nine read-only), its eight public functions and its
// constructor and destructor events; nothing else of the class is reachable
// by name.
//
// Null VM values stand for the class's null arguments (std::nullopt).

#include <new>
#include <string>

#include "platform/no_throw.h"
#include "terminal/n_cst_mvcomm.h"
#include "vm/class_library.h"
#include "vm/vm_api.h"

namespace mvcomm::server {
namespace {

using vm::IVMValue;
using namespace vm;

n_cst_mvcomm* self(void* p) { return static_cast<n_cst_mvcomm*>(p); }

// What the VM calls: no exception goes back into it. A failed allocation is
// its out-of-memory status.
template <auto F>
struct NoThrow;
template <typename... A, int32_t (*F)(A...)>
struct NoThrow<F> {
  static int32_t call(A... a) noexcept {
    return noThrow(kVmErrNoMemory, kVmErrFailed, [&] { return F(a...); });
  }
};

// ---- value helpers ----------------------------------------------------------
int32_t putString(IVMValue* out, const std::string& text) {
  IVMString* s = nullptr;
  int32_t st = vmMakeString(text.c_str(), &s);
  if (st < 0) return st;
  st = out->setString(s);
  s->Release();
  return st;
}

bool isNull(IVMValue* in, int32_t* st) {
  int32_t null = 0;
  *st = in->isNull(&null);
  return *st >= 0 && null != 0;
}

int32_t takeString(IVMValue* in, NullableString* out) {
  int32_t st = kVmOk;
  if (isNull(in, &st) || st < 0) {
    *out = std::nullopt;
    return st;
  }
  IVMString* s = nullptr;
  st = in->getString(&s);
  if (st < 0) return st;
  const char* text = nullptr;
  st = s->text(&text);
  if (st >= 0) *out = std::string(text);
  s->Release();
  return st;
}

int32_t takeDate(IVMValue* in, NullableDate* out) {
  int32_t st = kVmOk;
  *out = std::nullopt;
  if (isNull(in, &st) || st < 0) return st;
  IVMDate* d = nullptr;
  st = in->getDate(&d);
  if (st < 0) return st;
  Date date;
  if (st >= 0) st = d->year(&date.year);
  if (st >= 0) st = d->month(&date.month);
  if (st >= 0) st = d->day(&date.day);
  d->Release();
  if (st >= 0) *out = date;
  return st;
}

int32_t takeDateTime(IVMValue* in, NullableDateTime* out) {
  int32_t st = kVmOk;
  *out = std::nullopt;
  if (isNull(in, &st) || st < 0) return st;
  IVMDateTime* dt = nullptr;
  IVMDate* d = nullptr;
  IVMTime* t = nullptr;
  DateTime value;
  st = in->getDateTime(&dt);
  if (st >= 0) st = dt->datePart(&d);
  if (st >= 0) st = dt->timePart(&t);
  if (st >= 0) st = d->year(&value.date.year);
  if (st >= 0) st = d->month(&value.date.month);
  if (st >= 0) st = d->day(&value.date.day);
  if (st >= 0) st = t->hour(&value.hour);
  if (st >= 0) st = t->minute(&value.minute);
  if (st >= 0) st = t->second(&value.second);
  if (t) t->Release();
  if (d) d->Release();
  if (dt) dt->Release();
  if (st >= 0) *out = value;
  return st;
}

int32_t putDateTime(IVMValue* out, const NullableDateTime& value) {
  // A time the terminal sent that names no real moment reads as null rather
  // than failing every read of the property.
  if (!value || !value->isValid()) return out->setNull();
  IVMDateHelper* helper = nullptr;
  IVMDate* d = nullptr;
  IVMTime* t = nullptr;
  IVMDateTime* dt = nullptr;
  int32_t st = vmMakeDateHelper(0, 0, 0, &helper);
  if (st >= 0) st = helper->makeDate(value->date.year, value->date.month, value->date.day, &d);
  if (st >= 0) st = vmMakeTime(value->hour, value->minute, value->second, &t);
  if (st >= 0) st = vmMakeDateTime(d, t, &dt);
  if (st >= 0) st = out->setDateTime(dt);
  if (dt) dt->Release();
  if (t) t->Release();
  if (d) d->Release();
  if (helper) helper->Release();
  return st;
}

// ---- properties ----------------------------------------------------------------
template <std::int16_t n_cst_mvcomm::*M>
int32_t getInteger(void* p, IVMValue* out) {
  return out->setInteger(self(p)->*M);
}
template <std::int16_t n_cst_mvcomm::*M>
int32_t setInteger(void* p, IVMValue* in) {
  std::int16_t v = 0;
  int32_t st = in->getInteger(&v);
  if (st >= 0) self(p)->*M = v;
  return st;
}
template <std::int32_t n_cst_mvcomm::*M>
int32_t getLong(void* p, IVMValue* out) {
  return out->setLong(self(p)->*M);
}
template <std::int32_t n_cst_mvcomm::*M>
int32_t setLong(void* p, IVMValue* in) {
  std::int32_t v = 0;
  int32_t st = in->getLong(&v);
  if (st >= 0) self(p)->*M = v;
  return st;
}
template <std::string n_cst_mvcomm::*M>
int32_t getString(void* p, IVMValue* out) {
  return putString(out, self(p)->*M);
}
int32_t getCardedTime(void* p, IVMValue* out) { return putDateTime(out, self(p)->rscardedtime); }

constexpr VariableDef kVariables[] = {
    {"commport", kTypeInteger, NoThrow<getInteger<&n_cst_mvcomm::commport>>::call,
     NoThrow<setInteger<&n_cst_mvcomm::commport>>::call},
    {"bautrate", kTypeInteger, NoThrow<getInteger<&n_cst_mvcomm::bautrate>>::call,
     NoThrow<setInteger<&n_cst_mvcomm::bautrate>>::call},
    {"errormessage", kTypeString, NoThrow<getString<&n_cst_mvcomm::errormessage>>::call, nullptr},
    {"errorcode", kTypeLong, NoThrow<getLong<&n_cst_mvcomm::errorcode>>::call, nullptr},
    {"rsrows", kTypeLong, NoThrow<getLong<&n_cst_mvcomm::rsrows>>::call, nullptr},
    {"rsemployeeid", kTypeLong, NoThrow<getLong<&n_cst_mvcomm::rsemployeeid>>::call, nullptr},
    {"rsworkclass", kTypeString, NoThrow<getString<&n_cst_mvcomm::rsworkclass>>::call, nullptr},
    {"rscardedtime", kTypeDateTime, NoThrow<getCardedTime>::call, nullptr},
    {"rtrows", kTypeLong, NoThrow<getLong<&n_cst_mvcomm::rtrows>>::call, nullptr},
    {"rtemployeeid", kTypeLong, NoThrow<getLong<&n_cst_mvcomm::rtemployeeid>>::call, nullptr},
    {"rtcardid", kTypeLong, NoThrow<getLong<&n_cst_mvcomm::rtcardid>>::call, nullptr},
    {"receivedatatimelapse", kTypeLong, NoThrow<getLong<&n_cst_mvcomm::receivedatatimelapse>>::call,
     NoThrow<setLong<&n_cst_mvcomm::receivedatatimelapse>>::call},
};

// ---- functions -------------------------------------------------------------------
int32_t callSetclock(void* p, IVMValue* const* args, IVMValue*) {
  NullableString machine;
  NullableDateTime clock;
  int32_t st = takeString(args[0], &machine);
  if (st >= 0) st = takeDateTime(args[1], &clock);
  if (st >= 0) self(p)->setclock(machine, clock);
  return st;
}
int32_t callMoverecord(void* p, IVMValue* const* args, IVMValue*) {
  std::int32_t numrecord = 0, flag = 0;
  int32_t st = args[0]->getLong(&numrecord);
  if (st >= 0) st = args[1]->getLong(&flag);
  if (st >= 0) self(p)->moverecord(numrecord, flag);
  return st;
}
int32_t callReaddata(void* p, IVMValue* const* args, IVMValue*) {
  NullableString machine;
  NullableDate start, end;
  int32_t st = takeString(args[0], &machine);
  if (st >= 0) st = takeDate(args[1], &start);
  if (st >= 0) st = takeDate(args[2], &end);
  if (st >= 0) self(p)->readdata(machine, start, end);
  return st;
}
template <void (n_cst_mvcomm::*M)(const NullableString&)>
int32_t callOnMachine(void* p, IVMValue* const* args, IVMValue*) {
  NullableString machine;
  int32_t st = takeString(args[0], &machine);
  if (st >= 0) (self(p)->*M)(machine);
  return st;
}
int32_t callRtbeginwrite(void* p, IVMValue* const* args, IVMValue*) {
  std::int32_t count = 0;
  int32_t st = args[0]->getLong(&count);
  if (st >= 0) self(p)->rtbeginwrite(count);
  return st;
}
int32_t callRtwriterecord(void* p, IVMValue* const* args, IVMValue*) {
  std::int32_t numrecord = 0, employeeid = 0, cardid = 0;
  int32_t st = args[0]->getLong(&numrecord);
  if (st >= 0) st = args[1]->getLong(&employeeid);
  if (st >= 0) st = args[2]->getLong(&cardid);
  if (st >= 0) self(p)->rtwriterecord(numrecord, employeeid, cardid);
  return st;
}

constexpr int32_t kStringDatetime[] = {kTypeString, kTypeDateTime};
constexpr int32_t kLongLong[] = {kTypeLong, kTypeLong};
constexpr int32_t kStringDateDate[] = {kTypeString, kTypeDate, kTypeDate};
constexpr int32_t kString[] = {kTypeString};
constexpr int32_t kLong[] = {kTypeLong};
constexpr int32_t kLongLongLong[] = {kTypeLong, kTypeLong, kTypeLong};

constexpr FunctionDef kFunctions[] = {
    {"setclock", kNoResult, 2, kStringDatetime, NoThrow<callSetclock>::call},
    {"moverecord", kNoResult, 2, kLongLong, NoThrow<callMoverecord>::call},
    {"readdata", kNoResult, 3, kStringDateDate, NoThrow<callReaddata>::call},
    {"cleardata", kNoResult, 1, kString, NoThrow<callOnMachine<&n_cst_mvcomm::cleardata>>::call},
    {"rtbeginwrite", kNoResult, 1, kLong, NoThrow<callRtbeginwrite>::call},
    {"rtwriterecord", kNoResult, 3, kLongLongLong, NoThrow<callRtwriterecord>::call},
    {"readrefertable", kNoResult, 1, kString, NoThrow<callOnMachine<&n_cst_mvcomm::readrefertable>>::call},
    {"writerefertable", kNoResult, 1, kString, NoThrow<callOnMachine<&n_cst_mvcomm::writerefertable>>::call},
};

// ---- life cycle ------------------------------------------------------------------
// The C++ constructor and destructor do the class's work; the events exist
// so that the VM runs them at the same points as for any other class.
int32_t onConstructor(void*, int32_t*) { return kVmOk; }
int32_t onDestructor(void*, int32_t*) { return kVmOk; }

constexpr EventDef kEvents[] = {
    {"constructor", onConstructor},
    {"destructor", onDestructor},
};

void* create() noexcept {
  try {
    return new n_cst_mvcomm();
  } catch (...) {
    return nullptr;  // the VM's create fails with its out-of-memory status
  }
}
void destroy(void* p) { delete self(p); }

constexpr ClassDef kClasses[] = {
    {"n_cst_mvcomm", create, destroy, kVariables, 12, kFunctions, 8, kEvents, 2},
};
constexpr ClassLibrary kLibrary = {kClassLibraryVersion, kClasses, 1};

}  // namespace
}  // namespace mvcomm::server

extern "C" const mvcomm::vm::ClassLibrary* mvcomm_vm_class_library() {
  return &mvcomm::server::kLibrary;
}
