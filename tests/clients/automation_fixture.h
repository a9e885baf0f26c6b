// File: tests/clients/automation_fixture.h
//
// A private registry with libMVComm.so registered, objects created by
// ProgID, and VARIANT helpers, for the client tests.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/ole/activation/objbase.h"
#include "platform/ole/ole_testing.h"
#include "testing/temp_registry.h"
#include "tests/tools/golden.h"
#include "tests/tools/process.h"
#include "tools/mvcomm-dispatch/late_bound.h"

namespace mvcomm {

using dispatch::CallStatus;
using dispatch::LateBound;

inline HRESULT callModule(const char* entryName) {
  void* handle = dlopen(MVCOMM_MODULE, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return E_FAIL;
  auto entry = reinterpret_cast<HRESULT (*)()>(dlsym(handle, entryName));
  HRESULT hr = entry != nullptr ? entry() : E_FAIL;
  dlclose(handle);
  return hr;
}

inline VARIANT text(const char* s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = dispatch::utf8ToBstr(s);
  return v;
}

inline VARIANT number(LONG n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

inline VARIANT day(WORD y, WORD m, WORD d) {
  SYSTEMTIME st{};
  st.wYear = y;
  st.wMonth = m;
  st.wDay = d;
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DATE;
  SystemTimeToVariantTime(&st, &v.date);
  return v;
}

// Arguments that clear themselves.
struct Args {
  std::vector<VARIANT> v;
  Args(std::initializer_list<VARIANT> list) : v(list) {}
  ~Args() {
    for (VARIANT& x : v) VariantClear(&x);
  }
};

class AutomationClient : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::pinSimulatedToday();
    ASSERT_EQ(callModule("DllRegisterServer"), S_OK);
  }
  void TearDown() override { CoFreeUnusedLibraries(); }

  // A new object as IDispatch, created by ProgID; null on failure.
  IDispatch* create() {
    CLSID clsid{};
    IDispatch* object = nullptr;
    EXPECT_EQ(CLSIDFromProgID(u"MVComm.MVComm", &clsid), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    return object;
  }

  // Runs a method and returns errorcode; the call itself must go through.
  std::int32_t run(LateBound& comm, const char* name, Args args) {
    CallStatus st = comm.call(name, args.v, nullptr);
    EXPECT_TRUE(st.ok()) << name << ": " << st.describe();
    std::int32_t code = -1;
    EXPECT_TRUE(comm.getLong("errorcode", &code).ok());
    return code;
  }

  std::int32_t getLong(LateBound& comm, const char* name) {
    std::int32_t value = -1;
    CallStatus st = comm.getLong(name, &value);
    EXPECT_TRUE(st.ok()) << name << ": " << st.describe();
    return value;
  }

  testing::TempRegistry registry_;
};

}  // namespace mvcomm
