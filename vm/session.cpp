// File: vm/session.cpp
//
// Sessions (a module's class library, found by path), their context
// interfaces, and object creation by class name.
//
// The sessions started on one module path share one dlopen reference on it,
// held while any of them lives: a client that ends its thread's last object
// and makes the next one starts a new session each time, and opening and
// closing the module for each (under the loader's process-wide lock, and
// under ThreadSanitizer a rescan of every mapping) cost more than the rest of
// the session.

#include <dlfcn.h>

#include <mutex>
#include <string>
#include <unordered_map>

#include "vm/internal/products.h"
#include "vm/vm_api.h"

namespace mvcomm::vm {
namespace internal {
namespace {

struct OpenModule {
  void* handle = nullptr;                 // one dlopen reference, shared
  const ClassLibrary* library = nullptr;  // its class library, checked
  int64_t sessions = 0;                   // live sessions started on the path
};

std::mutex& modulesLock() {
  static std::mutex lock;
  return lock;
}

// Never destroyed: sessions may end from other libraries' exit code.
std::unordered_map<std::string, OpenModule>& openModules() {
  static auto* modules = new std::unordered_map<std::string, OpenModule>();
  return *modules;
}

// The module already open for `path`, counted for one more session; null
// handle when none is.
OpenModule shareOpenModule(const std::string& path) {
  std::lock_guard<std::mutex> guard(modulesLock());
  auto it = openModules().find(path);
  if (it == openModules().end()) return OpenModule{};
  ++it->second.sessions;
  return it->second;
}

// Records a module just opened for a new session. When another thread
// recorded the path meanwhile, that entry is shared and `handle` is closed.
// Returns the library to use.
const ClassLibrary* recordOpenModule(const std::string& path, void* handle,
                                     const ClassLibrary* library) {
  void* surplus = nullptr;
  {
    std::lock_guard<std::mutex> guard(modulesLock());
    auto [it, fresh] = openModules().try_emplace(path, OpenModule{handle, library, 0});
    ++it->second.sessions;
    if (!fresh) surplus = handle;
    library = it->second.library;
  }
  // Outside the lock: closing may run the module's unload hooks.
  if (surplus != nullptr) dlclose(surplus);
  return library;
}

// One session on `path` ended; the last one closes the module.
void releaseOpenModule(const std::string& path) {
  void* handle = nullptr;
  {
    std::lock_guard<std::mutex> guard(modulesLock());
    auto it = openModules().find(path);
    if (it == openModules().end()) return;
    if (--it->second.sessions > 0) return;
    handle = it->second.handle;
    openModules().erase(it);
  }
  dlclose(handle);
}

}  // namespace

SessionImpl::SessionImpl(std::string path, const ClassLibrary* library)
    : path_(std::move(path)), library_(library) {
  contextHandle_ = registerSession(this);
}

SessionImpl::~SessionImpl() {
  unregisterSession(contextHandle_);
  // The module stays loaded while anything else holds it (another session,
  // the client that loaded it).
  releaseOpenModule(path_);
}

int32_t SessionImpl::libraryPath(IVMString** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::SessionLibraryPath)) return st;
  try {
    return makeInto<StringImpl>(out, path_);
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
}

const ClassDef* SessionImpl::findClass(const char* name) const {
  for (int32_t i = 0; i < library_->classCount; ++i) {
    if (sameName(library_->classes[i].name, name)) return &library_->classes[i];
  }
  return nullptr;
}

HRESULT SessionImpl::queryMore(REFIID iid, void** out) {
  if (iid == IID_IVMSessionContext) {
    auto* ctx = new (std::nothrow) SessionContextImpl(this);
    if (ctx == nullptr) return E_OUTOFMEMORY;
    *out = static_cast<IVMSessionContext*>(ctx);
    return S_OK;
  }
  return E_NOINTERFACE;
}

int32_t SessionContextImpl::session(IVMSession** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::SessionContextSession)) return st;
  session_->AddRef();
  *out = session_;
  return kVmOk;
}

int32_t SessionContextImpl::contextHandle(uint32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::SessionContextHandle)) return st;
  *out = session_->contextHandle();
  return kVmOk;
}

int32_t ValueContextImpl::session(IVMSession** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::ValueContextSession)) return st;
  session_->AddRef();
  *out = session_;
  return kVmOk;
}

namespace {

// A class library the VM can trust: every name and function present.
bool usable(const ClassLibrary* lib) {
  if (lib == nullptr || lib->version != kClassLibraryVersion || lib->classCount < 0) return false;
  if (lib->classCount > 0 && lib->classes == nullptr) return false;
  for (int32_t c = 0; c < lib->classCount; ++c) {
    const ClassDef& cls = lib->classes[c];
    if (cls.name == nullptr || cls.create == nullptr || cls.destroy == nullptr) return false;
    if (cls.variableCount < 0 || cls.functionCount < 0 || cls.eventCount < 0) return false;
    for (int32_t i = 0; i < cls.variableCount; ++i) {
      const VariableDef& v = cls.variables[i];
      if (v.name == nullptr || v.get == nullptr || !isTypeCode(v.typeCode)) return false;
    }
    for (int32_t i = 0; i < cls.functionCount; ++i) {
      const FunctionDef& f = cls.functions[i];
      if (f.name == nullptr || f.call == nullptr || f.paramCount < 0) return false;
      if (f.resultType != kNoResult && !isTypeCode(f.resultType)) return false;
      if (f.paramCount > 0 && f.paramTypes == nullptr) return false;
      for (int32_t p = 0; p < f.paramCount; ++p) {
        if (!isTypeCode(f.paramTypes[p])) return false;
      }
    }
    for (int32_t i = 0; i < cls.eventCount; ++i) {
      if (cls.events[i].name == nullptr || cls.events[i].handler == nullptr) return false;
    }
  }
  return true;
}

}  // namespace
}  // namespace internal

using namespace internal;

int32_t vmStartSession(IVMString* extraLibraries, IVMString* modulePath, int32_t flag1,
                       int32_t flag2, IVMSession** out) {
  (void)flag1;
  (void)flag2;
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::StartSession)) return st;
  if (extraLibraries != nullptr) return kVmErrNotSupported;
  const char* path = textOf(modulePath);
  if (path == nullptr) return kVmErrBadArgument;
  if (*path == '\0') return kVmErrNoModule;

  std::string key;
  try {
    key = path;
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
  // From here the session (or, on failure, this function) owns one count
  // on the path's open module.
  const ClassLibrary* library = nullptr;
  void* module = nullptr;
  try {
    library = shareOpenModule(key).library;
    if (library == nullptr) {
      module = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
      if (module == nullptr) module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
      if (module == nullptr) return kVmErrNoModule;
      auto entry = reinterpret_cast<ClassLibraryEntry>(dlsym(module, kClassLibrarySymbol));
      library = entry != nullptr ? entry() : nullptr;
      if (!usable(library)) {
        dlclose(module);
        return kVmErrNoClassLibrary;
      }
      registerEventNames(library);
      library = recordOpenModule(key, module, library);
    }
  } catch (const std::bad_alloc&) {
    if (module != nullptr) dlclose(module);  // not recorded: nobody else holds this reference
    return kVmErrNoMemory;
  }
  SessionImpl* s = nullptr;
  try {
    s = new (std::nothrow) SessionImpl(key, library);
  } catch (const std::bad_alloc&) {
    s = nullptr;
  }
  if (s == nullptr) {
    releaseOpenModule(key);
    return kVmErrNoMemory;
  }
  *out = s;
  return kVmOk;
}

int32_t vmCreateObject(IVMString* className, IVMSession* session, IVMObject** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::CreateObject)) return st;
  const char* name = textOf(className);
  auto* s = impl<SessionImpl>(session);
  if (name == nullptr || s == nullptr) return kVmErrBadArgument;
  const ClassDef* cls = s->findClass(name);
  if (cls == nullptr) return kVmErrNoSuchClass;
  void* instance = cls->create();
  if (instance == nullptr) return kVmErrNoMemory;
  ObjectImpl* object = nullptr;
  try {
    object = new ObjectImpl(s, cls, instance);
  } catch (const std::bad_alloc&) {
    cls->destroy(instance);
    return kVmErrNoMemory;
  }
  int32_t ignored = 0;
  int32_t st = object->runEventByName("constructor", &ignored);
  if (st < 0) {
    object->Release();
    return st;
  }
  *out = object;
  return kVmOk;
}

}  // namespace mvcomm::vm
