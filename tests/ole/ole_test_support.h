// File: tests/ole/ole_test_support.h
//
// Shared pieces of the automation layer's tests: a fixture that fails a test
// which leaves BSTRs, SAFEARRAYs or task memory alive, RAII holders, and a
// reference-counting IDispatch whose default property the test chooses.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/ole/ole_testing.h"
#include "platform/ole/oleauto.h"

namespace mvcomm::ole::test {

// Every test of the room derives from this: live counts must be back where
// they started when the test ends, and no failure plan may outlive it.
class LeakChecked : public ::testing::Test {
 protected:
  void SetUp() override { start_ = LiveCounts::now(); }
  void TearDown() override {
    clearAllocationFailures();
    LiveCounts end = LiveCounts::now();
    EXPECT_EQ(end.bstr, start_.bstr) << "BSTRs leaked or freed twice";
    EXPECT_EQ(end.safeArray, start_.safeArray) << "SAFEARRAYs leaked or freed twice";
    EXPECT_EQ(end.coTaskMem, start_.coTaskMem) << "task memory leaked or freed twice";
  }

 private:
  LiveCounts start_;
};

#define OLE_SUITE(name) \
  class name : public ::mvcomm::ole::test::LeakChecked {}

// Owns a BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const char16_t* text) : b_(SysAllocString(text)) {}
  explicit Bstr(BSTR adopt, int) : b_(adopt) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR get() const { return b_; }
  BSTR* out() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }

 private:
  BSTR b_ = nullptr;
};

// Owns a VARIANT.
struct Var {
  VARIANT v;
  Var() { VariantInit(&v); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
  ~Var() { VariantClear(&v); }
  VARIANT* operator&() { return &v; }
  VARIANT* operator->() { return &v; }
};

inline std::u16string text(BSTR b) { return b == nullptr ? u"" : std::u16string(b, SysStringLen(b)); }

inline std::string narrow(BSTR b) {
  std::string s;
  for (UINT i = 0; i < SysStringLen(b); ++i) s.push_back(static_cast<char>(b[i]));
  return s;
}

inline std::u16string widen(const char* s) {
  std::u16string w;
  while (*s) w.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s++)));
  return w;
}

// A variant holding a new BSTR made from ASCII text.
inline void setText(VARIANT* v, const char* s) {
  std::u16string w = widen(s);
  v->vt = VT_BSTR;
  v->bstrVal = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

// An IDispatch whose Invoke(DISPID_VALUE, PROPERTYGET) answers `value`, or
// fails with `failWith` when that is set. Counts references and calls.
class FakeDispatch final : public IDispatch {
 public:
  VARIANT value;
  HRESULT failWith = S_OK;
  int invokeCalls = 0;
  // What the last Invoke received.
  DISPID lastDispid = 99;
  WORD lastFlags = 0;
  UINT lastArgs = 99;
  bool lastHadResult = false, lastResultWasEmpty = false, lastExcepNull = false, lastArgErrNull = false;

  FakeDispatch() { VariantInit(&value); }
  ~FakeDispatch() { VariantClear(&value); }

  ULONG refs() const { return refs_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
    ++invokeCalls;
    lastDispid = id;
    lastFlags = flags;
    lastArgs = params != nullptr ? params->cArgs : 99;
    lastHadResult = result != nullptr;
    lastResultWasEmpty = result != nullptr && result->vt == VT_EMPTY;
    lastExcepNull = excep == nullptr;
    lastArgErrNull = argErr == nullptr;
    if (failWith != S_OK) return failWith;
    return VariantCopy(result, &value);
  }

 private:
  ULONG refs_ = 1;
};

}  // namespace mvcomm::ole::test
