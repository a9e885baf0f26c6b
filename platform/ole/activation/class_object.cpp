// File: platform/ole/activation/class_object.cpp
//
// CoGetClassObject, CoCreateInstance and CoFreeUnusedLibraries. Server
// modules are dlopen'ed once and kept in a process-wide table until
// CoFreeUnusedLibraries finds that DllCanUnloadNow allows unloading.
//
// Sections: the loaded-server table; CoGetClassObject; CoCreateInstance;
// unloading.
#include <dlfcn.h>
#include <sys/stat.h>

#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "platform/no_throw.h"
#include "platform/ole/activation/internal/class_keys.h"
#include "platform/ole/activation/objbase.h"

namespace act = mvcomm::ole::activation;

namespace {

// ---- the loaded-server table ------------------------------------------------

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNowFn = HRESULT (*)();

struct LoadedServer {
  std::string path;              // InProcServer32 text it was loaded by
  void* handle = nullptr;        // one dlopen reference, ours
  GetClassObjectFn getClassObject = nullptr;
  CanUnloadNowFn canUnloadNow = nullptr;  // null: never unloaded
  int busy = 0;                  // activations under way; unloading waits for 0
};

std::mutex& tableLock() {
  static std::mutex lock;
  return lock;
}

// A list, so an entry pinned by an activation stays where it is.
std::list<LoadedServer>& table() {
  static auto* servers = new std::list<LoadedServer>();  // outlives static destructors
  return *servers;
}

// The loader's verdict on a path dlopen refused, in the system's terms.
HRESULT loadFailure(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return MVCOMM_E_MOD_NOT_FOUND;
  return MVCOMM_E_BAD_EXE_FORMAT;
}

// The module at path, loaded on first use, pinned (busy) until unpin():
// between the module's DllGetClassObject and the factory's CreateInstance
// nothing holds an object yet, so DllCanUnloadNow would allow unloading
// code that is about to run. Caller holds tableLock().
HRESULT pinServer(const std::string& path, LoadedServer** pinned) {
  for (LoadedServer& s : table()) {
    if (s.path == path) {
      ++s.busy;
      *pinned = &s;
      return S_OK;
    }
  }
  // A module that is not a file (a bare name) would be looked up along the
  // library path, which the registry never meant.
  if (path.empty() || path.front() != '/') return MVCOMM_E_MOD_NOT_FOUND;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return loadFailure(path);
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  if (getClassObject == nullptr) {
    dlclose(handle);
    return CO_E_ERRORINDLL;
  }
  auto canUnloadNow = reinterpret_cast<CanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
  // Two registered paths may name one module (a symbolic link): keep one
  // table entry per path all the same; dlopen counts the references.
  table().push_back({path, handle, getClassObject, canUnloadNow, 1});
  *pinned = &table().back();
  return S_OK;
}

void unpin(LoadedServer* server) {
  std::lock_guard<std::mutex> guard(tableLock());
  --server->busy;
}

// CoGetClassObject with the module left pinned on success; the caller unpins.
HRESULT getClassObject(REFCLSID rclsid, DWORD dwClsContext, REFIID riid, LPVOID* ppv,
                       LoadedServer** pinned) {
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  std::optional<std::string> path =
      act::readDefaultText(act::classKeyPath(rclsid) + "\\InProcServer32");
  if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
  {
    std::lock_guard<std::mutex> guard(tableLock());
    HRESULT hr = pinServer(*path, pinned);
    if (FAILED(hr)) return hr;
  }
  // Outside the lock: the module may activate other classes itself.
  HRESULT hr = (*pinned)->getClassObject(rclsid, riid, ppv);
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

}  // namespace

// ---- CoGetClassObject ---------------------------------------------------------

STDAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* /*pServerInfo*/,
                        REFIID riid, LPVOID* ppv) try {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  LoadedServer* pinned = nullptr;
  HRESULT hr = getClassObject(rclsid, dwClsContext, riid, ppv, &pinned);
  // From here the caller keeps the module by its objects or LockServer.
  if (pinned != nullptr) unpin(pinned);
  return hr;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

// ---- CoCreateInstance ---------------------------------------------------------

STDAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                        LPVOID* ppv) try {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  LoadedServer* pinned = nullptr;
  HRESULT hr = getClassObject(rclsid, dwClsContext, IID_IClassFactory,
                              reinterpret_cast<void**>(&factory), &pinned);
  if (SUCCEEDED(hr) && factory == nullptr) hr = E_UNEXPECTED;  // S_OK and no factory
  if (SUCCEEDED(hr)) {
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
  }
  if (factory != nullptr) factory->Release();
  if (pinned != nullptr) unpin(pinned);
  return hr;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

// ---- unloading ----------------------------------------------------------------

STDAPI_(void) CoFreeUnusedLibraries(void) {
  std::vector<void*> unload;
  {
    std::lock_guard<std::mutex> guard(tableLock());
    std::list<LoadedServer>& servers = table();
    for (auto it = servers.begin(); it != servers.end();) {
      if (it->busy == 0 && it->canUnloadNow != nullptr && it->canUnloadNow() == S_OK) {
        unload.push_back(it->handle);
        it = servers.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (void* handle : unload) dlclose(handle);
}

STDAPI_(void) CoFreeUnusedLibrariesEx(DWORD /*dwUnloadDelay*/, DWORD /*dwReserved*/) {
  // No apartments and no delayed unloading here: the check is immediate.
  CoFreeUnusedLibraries();
}

namespace mvcomm::ole {

int loadedServerCount() {
  std::lock_guard<std::mutex> guard(tableLock());
  return static_cast<int>(table().size());
}

}  // namespace mvcomm::ole
