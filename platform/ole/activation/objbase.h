// File: platform/ole/activation/objbase.h
//
// Client activation of in-process servers: ProgID <-> CLSID through the
// registry, CoGetClassObject / CoCreateInstance (the InProcServer32 key of
// the class names a shared object that exports DllGetClassObject), and
// CoFreeUnusedLibraries. Only in-process servers
// exist here; the other class contexts find nothing.
#pragma once

#include "platform/ole/oleauto.h"
#include "platform/ole/unknwn.h"

// Class contexts (CLSCTX). Only CLSCTX_INPROC_SERVER can be satisfied.
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL (CLSCTX_INPROC | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// CoInitializeEx flags; accepted and ignored.
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

// Loader failures, as the system reports them for an InProcServer32 file.
#define MVCOMM_E_MOD_NOT_FOUND _HRESULT_TYPEDEF_(0x8007007EL)   // no such file
#define MVCOMM_E_BAD_EXE_FORMAT _HRESULT_TYPEDEF_(0x800700C1L)  // not a loadable module

typedef struct _COSERVERINFO COSERVERINFO;  // remote activation; never used here

// Reads HKEY_CLASSES_ROOT\<lpszProgID>\CLSID. CO_E_CLASSSTRING when the
// ProgID is not registered or its CLSID text is malformed (*lpclsid is then
// CLSID_NULL); E_INVALIDARG for a null argument.
STDAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);

// Reads HKEY_CLASSES_ROOT\CLSID\{clsid}\ProgID into a CoTaskMemAlloc block
// the caller frees. REGDB_E_CLASSNOTREG when there is none, E_OUTOFMEMORY,
// E_INVALIDARG for a null out pointer (*lplpszProgID is null on failure).
STDAPI ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

// Loads the class's InProcServer32 module (once per process, until
// CoFreeUnusedLibraries unloads it) and returns its DllGetClassObject result.
// Errors: E_INVALIDARG (null ppv); REGDB_E_CLASSNOTREG (no CLSID key, no
// InProcServer32 path, or a context without CLSCTX_INPROC_SERVER);
// 0x8007007E (the file is missing); 0x800700C1 (the file does not load);
// CO_E_ERRORINDLL (no DllGetClassObject export); else what the module says.
// pServerInfo is ignored.
STDAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* pServerInfo,
                        REFIID riid, LPVOID* ppv);

// CoGetClassObject for IClassFactory, then CreateInstance(pUnkOuter, riid),
// then the factory is released. E_POINTER for a null ppv; every failure of
// CoGetClassObject or CreateInstance passes through, *ppv null.
STDAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                        LPVOID* ppv);

// Asks every module loaded by CoGetClassObject whether it can go
// (DllCanUnloadNow == S_OK) and unloads those that can. A module without
// DllCanUnloadNow stays loaded, and so does one that another thread is
// activating a class from (CoCreateInstance holds it from DllGetClassObject
// to the factory's Release). A class object obtained with CoGetClassObject
// does not keep its module: hold LockServer(TRUE) or an object for that.
STDAPI_(void) CoFreeUnusedLibraries(void);
STDAPI_(void) CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);

// No apartments exist here: these only keep a per-thread count so that the
// usual pairing works. S_OK for the first call on a thread, S_FALSE after.
STDAPI CoInitialize(LPVOID pvReserved);
STDAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
STDAPI_(void) CoUninitialize(void);

namespace mvcomm::ole {

// Modules CoGetClassObject holds loaded now (for tests of unloading).
int loadedServerCount();

}  // namespace mvcomm::ole
