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

#include <mutex>
#include <string>
#include <vector>

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
};

std::mutex& tableLock() {
  static std::mutex lock;
  return lock;
}

std::vector<LoadedServer>& table() {
  static auto* servers = new std::vector<LoadedServer>();  // outlives static destructors
  return *servers;
}

// The loader's verdict on a path dlopen refused, in the system's terms.
HRESULT loadFailure(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return MVCOMM_E_MOD_NOT_FOUND;
  return MVCOMM_E_BAD_EXE_FORMAT;
}

// The entry point of the module at path, loading it on first use.
// Caller holds tableLock().
HRESULT findServer(const std::string& path, GetClassObjectFn* entry) {
  for (const LoadedServer& s : table()) {
    if (s.path == path) {
      *entry = s.getClassObject;
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
  table().push_back({path, handle, getClassObject, canUnloadNow});
  *entry = getClassObject;
  return S_OK;
}

}  // namespace

// ---- CoGetClassObject ---------------------------------------------------------

STDAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* /*pServerInfo*/,
                        REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  std::optional<std::string> path =
      act::readDefaultText(act::classKeyPath(rclsid) + "\\InProcServer32");
  if (!path || path->empty()) return REGDB_E_CLASSNOTREG;

  GetClassObjectFn entry = nullptr;
  {
    std::lock_guard<std::mutex> guard(tableLock());
    HRESULT hr = findServer(*path, &entry);
    if (FAILED(hr)) return hr;
  }
  // Outside the lock: the module may activate other classes itself. It
  // stays loaded meanwhile, since unloading asks DllCanUnloadNow first and
  // a module asked for a class object is not idle.
  HRESULT hr = entry(rclsid, riid, ppv);
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

// ---- CoCreateInstance ---------------------------------------------------------

STDAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                        LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  if (factory == nullptr) return E_UNEXPECTED;  // a module that says S_OK and gives nothing
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

// ---- unloading ----------------------------------------------------------------

STDAPI_(void) CoFreeUnusedLibraries(void) {
  std::vector<void*> unload;
  {
    std::lock_guard<std::mutex> guard(tableLock());
    std::vector<LoadedServer>& servers = table();
    for (size_t i = 0; i < servers.size();) {
      if (servers[i].canUnloadNow != nullptr && servers[i].canUnloadNow() == S_OK) {
        unload.push_back(servers[i].handle);
        servers.erase(servers.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
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
