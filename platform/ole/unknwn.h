// File: platform/ole/unknwn.h
//
// IUnknown and IClassFactory as abstract classes in vtable slot order, so a
// C++ object implementing them has the binary layout any automation client
// calls through. The IIDs live in libmvole.so.
#pragma once

#include "platform/ole/winerror.h"
#include "platform/ole/wtypes.h"

EXTERN_C const IID IID_NULL;
EXTERN_C const GUID GUID_NULL;
EXTERN_C const CLSID CLSID_NULL;
EXTERN_C const IID IID_IUnknown;
EXTERN_C const IID IID_IClassFactory;

// Slots 0-2.
struct IUnknown {
  // S_OK with *ppvObject AddRef'd; E_NOINTERFACE (and *ppvObject null) for
  // an interface the object lacks; E_POINTER for a null ppvObject.
  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) PURE;
  STDMETHOD_(ULONG, AddRef)() PURE;
  STDMETHOD_(ULONG, Release)() PURE;

 protected:
  ~IUnknown() = default;  // objects are destroyed through Release only
};
typedef IUnknown* LPUNKNOWN;

// Slots 3-4 after IUnknown.
struct IClassFactory : public IUnknown {
  // CLASS_E_NOAGGREGATION when pUnkOuter is not null and aggregation is unsupported.
  STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) PURE;
  STDMETHOD(LockServer)(BOOL fLock) PURE;

 protected:
  ~IClassFactory() = default;
};
typedef IClassFactory* LPCLASSFACTORY;
