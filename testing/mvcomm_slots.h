// File: testing/mvcomm_slots.h
//
// IMVComm's virtual table as a C++ interface (slots 7 to 29 after IDispatch),
// for tests and benchmarks that call through the type information, and a
// trivial object implementing it.
#pragma once

#include "platform/ole/oleauto.h"

namespace mvcomm::testing {

struct IMVCommSlots : IDispatch {
  virtual HRESULT put_commport(SHORT v) = 0;
  virtual HRESULT get_commport(SHORT* v) = 0;
  virtual HRESULT put_bautrate(SHORT v) = 0;
  virtual HRESULT get_bautrate(SHORT* v) = 0;
  virtual HRESULT get_errormessage(BSTR* v) = 0;
  virtual HRESULT get_errorcode(LONG* v) = 0;
  virtual HRESULT get_rsrows(LONG* v) = 0;
  virtual HRESULT get_rsemployeeid(LONG* v) = 0;
  virtual HRESULT get_rsworkclass(BSTR* v) = 0;
  virtual HRESULT get_rscardedtime(DATE* v) = 0;
  virtual HRESULT get_rtrows(LONG* v) = 0;
  virtual HRESULT get_rtemployeeid(LONG* v) = 0;
  virtual HRESULT get_rtcardid(LONG* v) = 0;
  virtual HRESULT put_receivedatatimelapse(LONG v) = 0;
  virtual HRESULT get_receivedatatimelapse(LONG* v) = 0;
  virtual HRESULT setclock(BSTR machinenum, DATE clock) = 0;
  virtual HRESULT moverecord(LONG numrecord, LONG flag) = 0;
  virtual HRESULT readdata(BSTR machinenum, DATE startdate, DATE enddate) = 0;
  virtual HRESULT cleardata(BSTR machinenum) = 0;
  virtual HRESULT rtbeginwrite(LONG recordcount) = 0;
  virtual HRESULT rtwriterecord(LONG numrecord, LONG employeeid, LONG cardid) = 0;
  virtual HRESULT readrefertable(BSTR machinenum) = 0;
  virtual HRESULT writerefertable(BSTR machinenum) = 0;

 protected:
  ~IMVCommSlots() = default;
};

// Every slot succeeds and does nothing else; IUnknown does not count.
class TrivialMVComm : public IMVCommSlots {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT put_commport(SHORT) override { return S_OK; }
  HRESULT get_commport(SHORT* v) override { *v = 1; return S_OK; }
  HRESULT put_bautrate(SHORT) override { return S_OK; }
  HRESULT get_bautrate(SHORT* v) override { *v = 0; return S_OK; }
  HRESULT get_errormessage(BSTR* v) override { *v = nullptr; return S_OK; }
  HRESULT get_errorcode(LONG* v) override { *v = errorcode; return S_OK; }
  HRESULT get_rsrows(LONG* v) override { *v = 0; return S_OK; }
  HRESULT get_rsemployeeid(LONG* v) override { *v = 0; return S_OK; }
  HRESULT get_rsworkclass(BSTR* v) override { *v = nullptr; return S_OK; }
  HRESULT get_rscardedtime(DATE* v) override { *v = 0; return S_OK; }
  HRESULT get_rtrows(LONG* v) override { *v = 0; return S_OK; }
  HRESULT get_rtemployeeid(LONG* v) override { *v = 0; return S_OK; }
  HRESULT get_rtcardid(LONG* v) override { *v = 0; return S_OK; }
  HRESULT put_receivedatatimelapse(LONG) override { return S_OK; }
  HRESULT get_receivedatatimelapse(LONG* v) override { *v = 0; return S_OK; }
  HRESULT setclock(BSTR, DATE) override { return S_OK; }
  HRESULT moverecord(LONG, LONG) override { return S_OK; }
  HRESULT readdata(BSTR, DATE, DATE) override { return S_OK; }
  HRESULT cleardata(BSTR) override { return S_OK; }
  HRESULT rtbeginwrite(LONG) override { return S_OK; }
  HRESULT rtwriterecord(LONG n, LONG e, LONG c) override {
    last = n + e + c;
    return S_OK;
  }
  HRESULT readrefertable(BSTR) override { return S_OK; }
  HRESULT writerefertable(BSTR) override { return S_OK; }

  LONG errorcode = 20001;
  LONG last = 0;
};

}  // namespace mvcomm::testing
