// File: component/accessors.cpp
//
// The 15 property accessors of MVComm. Each goes to the wrapped instance's
// instance variable of the same name on every call, so values the class
// changes during a method call are seen by the next get. Every VM reference
// taken is released before returning, on every path.

#include "component/component_status.h"
#include "component/mvcomm_object.h"
#include "convert/pbcom_type_converter.h"
#include "platform/no_throw.h"
#include "vm/vm_api.h"

namespace mvcomm::component {
namespace {

using convert::PBCOMTypeConverter;

// Reads variable `name` into a new VM value and hands it to `take`, whose
// status is the accessor's. -8306 no name, -8314 no read.
template <typename Take>
HRESULT getProperty(vm::IVMObject* object, const char* name, Take take) {
  HRESULT st = S_OK;
  vm::IVMString* vmName = nullptr;
  vm::IVMValue* value = nullptr;
  if (vm::vmMakeString(name, &vmName) < 0) st = kErrPropertyName;
  if (st >= 0 && object->getVariable(vmName, &value) < 0) st = kErrReadVariable;
  if (st >= 0) st = take(value);
  if (value != nullptr) value->Release();
  if (vmName != nullptr) vmName->Release();
  return st;
}

// Makes a VM value of `typeCode`, lets `store` write the new content, and
// assigns it to variable `name`. -8312 no context, -8306 no name, -8307 no
// value, -8316 not stored, -8313 not assigned.
template <typename Store>
HRESULT putProperty(vm::IVMObject* object, const char* name, int32_t typeCode, Store store) {
  HRESULT st = S_OK;
  vm::IVMValueContext* context = nullptr;
  vm::IVMString* vmName = nullptr;
  vm::IVMValue* value = nullptr;
  if (object->valueContext(&context) < 0) st = kErrValueContext;
  if (st >= 0 && vm::vmMakeString(name, &vmName) < 0) st = kErrPropertyName;
  if (st >= 0 && vm::vmMakeValue(typeCode, context, &value) < 0) st = kErrPutValue;
  if (st >= 0) {
    const int32_t written = store(value);
    st = written < 0 ? kErrTypedWrite : written;
  }
  if (st >= 0) {
    const int32_t assigned = object->setVariable(vmName, value);
    st = assigned < 0 ? kErrAssign : assigned;
  }
  if (vmName != nullptr) vmName->Release();
  if (value != nullptr) value->Release();
  if (context != nullptr) context->Release();
  return st;
}

HRESULT getInteger(vm::IVMObject* object, const char* name, SHORT* place) try {
  if (object == nullptr) return kErrNoVMObject;
  if (place == nullptr) return E_POINTER;
  return getProperty(object, name, [place](vm::IVMValue* v) -> HRESULT {
    const int32_t st = v->getInteger(place);
    return st < 0 ? kErrTypedRead : st;
  });
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT getLong(vm::IVMObject* object, const char* name, LONG* place) try {
  if (object == nullptr) return kErrNoVMObject;
  if (place == nullptr) return E_POINTER;
  return getProperty(object, name, [place](vm::IVMValue* v) -> HRESULT {
    const int32_t st = v->getLong(place);
    return st < 0 ? kErrTypedRead : st;
  });
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT getString(vm::IVMObject* object, const char* name, BSTR* place) try {
  PBCOMTypeConverter converter;
  if (object == nullptr) return kErrNoVMObject;
  if (place == nullptr) return E_POINTER;
  return getProperty(object, name, [place, &converter](vm::IVMValue* v) -> HRESULT {
    vm::IVMString* text = nullptr;
    HRESULT st = v->getString(&text);
    if (st < 0) return kErrTypedRead;
    if (converter.VMStringToBstr(place, text) < 0) st = kErrConvertResult;
    text->Release();
    return st;
  });
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT getDateTime(vm::IVMObject* object, const char* name, DATE* place) try {
  PBCOMTypeConverter converter;
  if (object == nullptr) return kErrNoVMObject;
  if (place == nullptr) return E_POINTER;
  return getProperty(object, name, [place, &converter](vm::IVMValue* v) -> HRESULT {
    vm::IVMDateTime* moment = nullptr;
    HRESULT st = v->getDateTime(&moment);
    if (st < 0) return kErrTypedRead;
    if (converter.VMDateTimeToDate(place, moment) < 0) st = kErrConvertResult;
    moment->Release();
    return st;
  });
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT putInteger(vm::IVMObject* object, const char* name, SHORT value) try {
  if (object == nullptr) return kErrNoVMObject;
  // Widened with its sign: -1 stays -1.
  return putProperty(object, name, vm::kTypeInteger, [value](vm::IVMValue* v) {
    return v->setInteger(static_cast<int32_t>(value));
  });
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT putLong(vm::IVMObject* object, const char* name, LONG value) try {
  if (object == nullptr) return kErrNoVMObject;
  return putProperty(object, name, vm::kTypeLong,
                     [value](vm::IVMValue* v) { return v->setLong(value); });
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

}  // namespace

HRESULT MVComm::put_commport(SHORT value) { return putInteger(vmObject_, "commport", value); }
HRESULT MVComm::get_commport(SHORT* argvalue) { return getInteger(vmObject_, "commport", argvalue); }
HRESULT MVComm::put_bautrate(SHORT value) { return putInteger(vmObject_, "bautrate", value); }
HRESULT MVComm::get_bautrate(SHORT* argvalue) { return getInteger(vmObject_, "bautrate", argvalue); }
HRESULT MVComm::get_errormessage(BSTR* argvalue) { return getString(vmObject_, "errormessage", argvalue); }
HRESULT MVComm::get_errorcode(LONG* argvalue) { return getLong(vmObject_, "errorcode", argvalue); }
HRESULT MVComm::get_rsrows(LONG* argvalue) { return getLong(vmObject_, "rsrows", argvalue); }
HRESULT MVComm::get_rsemployeeid(LONG* argvalue) { return getLong(vmObject_, "rsemployeeid", argvalue); }
HRESULT MVComm::get_rsworkclass(BSTR* argvalue) { return getString(vmObject_, "rsworkclass", argvalue); }
HRESULT MVComm::get_rscardedtime(DATE* argvalue) { return getDateTime(vmObject_, "rscardedtime", argvalue); }
HRESULT MVComm::get_rtrows(LONG* argvalue) { return getLong(vmObject_, "rtrows", argvalue); }
HRESULT MVComm::get_rtemployeeid(LONG* argvalue) { return getLong(vmObject_, "rtemployeeid", argvalue); }
HRESULT MVComm::get_rtcardid(LONG* argvalue) { return getLong(vmObject_, "rtcardid", argvalue); }
HRESULT MVComm::put_receivedatatimelapse(LONG value) {
  return putLong(vmObject_, "receivedatatimelapse", value);
}
HRESULT MVComm::get_receivedatatimelapse(LONG* argvalue) {
  return getLong(vmObject_, "receivedatatimelapse", argvalue);
}

}  // namespace mvcomm::component
