// File: component/methods.cpp
//
// The eight method calls of MVComm. Each turns its automation arguments into
// VM values of the class's parameter types, wraps them as call arguments and
// calls the function of the same name on the wrapped instance. The terminal
// outcome travels back in errorcode and errormessage, not in the status: a
// terminal error leaves the call itself successful.
//
// The per-call arrays come from task memory so that tests can fail their
// allocation like any other.

#include "component/component_status.h"
#include "component/mvcomm_object.h"
#include "convert/pbcom_type_converter.h"
#include "platform/no_throw.h"
#include "platform/ole/oleauto.h"
#include "vm/vm_api.h"

namespace mvcomm::component {
namespace {

using convert::PBCOMTypeConverter;

// One argument as the client passed it, with the parameter's VM type code.
struct Param {
  int32_t typeCode;   // 8 long, 14 date, 16 datetime, 17 string
  LONG number = 0;    // for long
  BSTR text = nullptr;  // for string
  DATE moment = 0;    // for date and datetime
};

Param longParam(LONG v) { return Param{vm::kTypeLong, v, nullptr, 0}; }
Param stringParam(BSTR v) { return Param{vm::kTypeString, 0, v, 0}; }
Param dateParam(DATE v) { return Param{vm::kTypeDate, 0, nullptr, v}; }
Param dateTimeParam(DATE v) { return Param{vm::kTypeDateTime, 0, nullptr, v}; }

constexpr int kMaxParams = 3;

// The converted VM value of one parameter (string, date or datetime), or null.
struct Converted {
  vm::IVMString* text = nullptr;
  vm::IVMDate* date = nullptr;
  vm::IVMDateTime* dateTime = nullptr;

  void release() {
    if (text != nullptr) text->Release();
    if (date != nullptr) date->Release();
    if (dateTime != nullptr) dateTime->Release();
    text = nullptr;
    date = nullptr;
    dateTime = nullptr;
  }
};

int32_t convertParam(PBCOMTypeConverter& converter, const Param& p, Converted* out) {
  switch (p.typeCode) {
    case vm::kTypeString: return converter.BstrToVMString(&out->text, p.text);
    case vm::kTypeDate: return converter.DateToVMDate(&out->date, p.moment);
    case vm::kTypeDateTime: return converter.DateToVMDateTime(&out->dateTime, p.moment);
    default: return 0;
  }
}

int32_t storeParam(vm::IVMValue* value, const Param& p, const Converted& c) {
  switch (p.typeCode) {
    case vm::kTypeString: return value->setString(c.text);
    case vm::kTypeDate: return value->setDate(c.date);
    case vm::kTypeDateTime: return value->setDateTime(c.dateTime);
    default: return value->setLong(p.number);
  }
}

// Errors: -8302 no VM object; -8312 no value context; -8301 no arrays;
// -8403 an argument not converted; -8308 no function name; -8310, -8321,
// -8318 an argument's value, store or call argument; -8319 the call.
HRESULT callMethod(vm::IVMObject* object, const char* name, const Param* params, int32_t n) {
  if (object == nullptr) return kErrNoVMObject;
  vm::IVMValueContext* context = nullptr;
  if (object->valueContext(&context) < 0) return kErrValueContext;

  auto* args = static_cast<vm::IVMArgument**>(CoTaskMemAlloc(sizeof(vm::IVMArgument*) * n));
  auto* values = static_cast<vm::IVMValue**>(CoTaskMemAlloc(sizeof(vm::IVMValue*) * n));
  if (args == nullptr || values == nullptr) {
    CoTaskMemFree(args);
    CoTaskMemFree(values);
    context->Release();
    return kErrNoCallArrays;
  }
  for (int32_t i = 0; i < n; ++i) {
    args[i] = nullptr;
    values[i] = nullptr;
  }

  HRESULT st = S_OK;
  PBCOMTypeConverter converter;
  Converted converted[kMaxParams];
  for (int32_t i = 0; i < n && st >= 0; ++i)
    if (convertParam(converter, params[i], &converted[i]) < 0) st = kErrConvertArgument;

  vm::IVMString* vmName = nullptr;
  if (st >= 0 && vm::vmMakeString(name, &vmName) < 0) st = kErrFunctionName;

  for (int32_t i = 0; i < n && st >= 0; ++i) {
    if (vm::vmMakeValue(params[i].typeCode, context, &values[i]) < 0) st = kErrArgumentValue;
    if (st >= 0 && storeParam(values[i], params[i], converted[i]) < 0) st = kErrStoreArgument;
    converted[i].release();
    if (st >= 0 && vm::vmMakeArgument(values[i], vm::kArgByValue, &args[i]) < 0)
      st = kErrMakeArgument;
  }

  vm::IVMValue* result = nullptr;
  IUnknown* second = nullptr;
  uint32_t word = 0;
  if (st >= 0) {
    const int32_t called = object->callFunction(vmName, args, n, &result, &second, &word);
    st = called < 0 ? kErrCall : called;
  }

  // Whatever a failure skipped above, everything taken goes back here.
  if (result != nullptr) result->Release();
  if (vmName != nullptr) vmName->Release();
  if (second != nullptr) second->Release();
  for (int32_t i = 0; i < n; ++i) {
    converted[i].release();
    if (values[i] != nullptr) values[i]->Release();
    if (args[i] != nullptr) args[i]->Release();
  }
  CoTaskMemFree(args);
  CoTaskMemFree(values);
  context->Release();
  return st;
}

}  // namespace

HRESULT MVComm::setclock(BSTR machinenum, DATE clock) try {
  const Param p[] = {stringParam(machinenum), dateTimeParam(clock)};
  return callMethod(vmObject_, "setclock", p, 2);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT MVComm::moverecord(LONG numrecord, LONG flag) try {
  const Param p[] = {longParam(numrecord), longParam(flag)};
  return callMethod(vmObject_, "moverecord", p, 2);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT MVComm::readdata(BSTR machinenum, DATE startdate, DATE enddate) try {
  const Param p[] = {stringParam(machinenum), dateParam(startdate), dateParam(enddate)};
  return callMethod(vmObject_, "readdata", p, 3);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT MVComm::cleardata(BSTR machinenum) try {
  const Param p[] = {stringParam(machinenum)};
  return callMethod(vmObject_, "cleardata", p, 1);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT MVComm::rtbeginwrite(LONG recordcount) try {
  const Param p[] = {longParam(recordcount)};
  return callMethod(vmObject_, "rtbeginwrite", p, 1);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT MVComm::rtwriterecord(LONG numrecord, LONG employeeid, LONG cardid) try {
  const Param p[] = {longParam(numrecord), longParam(employeeid), longParam(cardid)};
  return callMethod(vmObject_, "rtwriterecord", p, 3);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT MVComm::readrefertable(BSTR machinenum) try {
  const Param p[] = {stringParam(machinenum)};
  return callMethod(vmObject_, "readrefertable", p, 1);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT MVComm::writerefertable(BSTR machinenum) try {
  const Param p[] = {stringParam(machinenum)};
  return callMethod(vmObject_, "writerefertable", p, 1);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

}  // namespace mvcomm::component
