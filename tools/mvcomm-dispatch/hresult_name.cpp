// File: tools/mvcomm-dispatch/hresult_name.cpp
#include "tools/mvcomm-dispatch/hresult_name.h"

#include <cstdio>

#include "platform/ole/activation/objbase.h"

namespace mvcomm::dispatch {

namespace {

struct Named {
  HRESULT hr;
  const char* name;
};

#define MVCOMM_NAMED(x) {x, #x}
constexpr Named kNames[] = {
    MVCOMM_NAMED(S_OK),
    MVCOMM_NAMED(S_FALSE),
    MVCOMM_NAMED(E_NOTIMPL),
    MVCOMM_NAMED(E_NOINTERFACE),
    MVCOMM_NAMED(E_POINTER),
    MVCOMM_NAMED(E_ABORT),
    MVCOMM_NAMED(E_FAIL),
    MVCOMM_NAMED(E_UNEXPECTED),
    MVCOMM_NAMED(E_ACCESSDENIED),
    MVCOMM_NAMED(E_HANDLE),
    MVCOMM_NAMED(E_OUTOFMEMORY),
    MVCOMM_NAMED(E_INVALIDARG),
    MVCOMM_NAMED(CLASS_E_NOAGGREGATION),
    MVCOMM_NAMED(CLASS_E_CLASSNOTAVAILABLE),
    MVCOMM_NAMED(REGDB_E_CLASSNOTREG),
    MVCOMM_NAMED(CO_E_CLASSSTRING),
    MVCOMM_NAMED(CO_E_DLLNOTFOUND),
    MVCOMM_NAMED(CO_E_ERRORINDLL),
    MVCOMM_NAMED(DISP_E_UNKNOWNINTERFACE),
    MVCOMM_NAMED(DISP_E_MEMBERNOTFOUND),
    MVCOMM_NAMED(DISP_E_PARAMNOTFOUND),
    MVCOMM_NAMED(DISP_E_TYPEMISMATCH),
    MVCOMM_NAMED(DISP_E_UNKNOWNNAME),
    MVCOMM_NAMED(DISP_E_NONAMEDARGS),
    MVCOMM_NAMED(DISP_E_BADVARTYPE),
    MVCOMM_NAMED(DISP_E_EXCEPTION),
    MVCOMM_NAMED(DISP_E_OVERFLOW),
    MVCOMM_NAMED(DISP_E_BADINDEX),
    MVCOMM_NAMED(DISP_E_BADPARAMCOUNT),
    MVCOMM_NAMED(DISP_E_PARAMNOTOPTIONAL),
    MVCOMM_NAMED(DISP_E_NOTACOLLECTION),
    MVCOMM_NAMED(TYPE_E_LIBNOTREGISTERED),
    MVCOMM_NAMED(TYPE_E_ELEMENTNOTFOUND),
    MVCOMM_NAMED(TYPE_E_CANTLOADLIBRARY),
    {MVCOMM_E_MOD_NOT_FOUND, "ERROR_MOD_NOT_FOUND"},
    {MVCOMM_E_BAD_EXE_FORMAT, "ERROR_BAD_EXE_FORMAT"},
};
#undef MVCOMM_NAMED

}  // namespace

const char* hresultName(HRESULT hr) {
  for (const Named& n : kNames) {
    if (n.hr == hr) return n.name;
  }
  return "";
}

std::string describeHresult(HRESULT hr) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(hr));
  std::string text = hex;
  if (const char* name = hresultName(hr); *name != '\0') text += std::string(" ") + name;
  return text;
}

}  // namespace mvcomm::dispatch
