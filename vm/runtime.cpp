// File: vm/runtime.cpp
//
// The process-wide part of the VM: runtime preparation, the handles that
// the event operations take (contexts, objects, classes), event name tokens,
// and finding and triggering events.

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "vm/internal/products.h"
#include "vm/vm_api.h"
#include "vm/vm_testing.h"

namespace mvcomm::vm {
namespace internal {
namespace {

std::string lowered(const char* name) {
  std::string s(name);
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

struct Registry {
  std::mutex lock;                                        // guards everything below
  uint32_t nextHandle = 1;                                // context and object handles, never 0
  std::unordered_map<uint32_t, SessionImpl*> sessions;    // context handle -> live session
  std::unordered_map<uint32_t, ObjectImpl*> objects;      // object handle -> live object
  std::vector<const ClassDef*> classes;                   // class handle = index
  std::vector<std::string> eventNames;                    // token = index; lower case
  std::unordered_map<std::string, int32_t> eventTokens;   // lower-case name -> token
};

Registry& registry() {
  // Never destroyed: objects may be released from other libraries' exit code.
  static Registry* r = new Registry;
  return *r;
}

uint32_t newHandle(Registry& r) {
  uint32_t h = r.nextHandle++;
  if (r.nextHandle == 0 || r.nextHandle >= kNoClass) r.nextHandle = 1;
  return h;
}

std::atomic<int64_t> gPrepareCount{0};

}  // namespace

uint32_t registerSession(SessionImpl* s) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  uint32_t h = newHandle(r);
  r.sessions[h] = s;
  return h;
}

void unregisterSession(uint32_t handle) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.sessions.erase(handle);
}

uint32_t registerObject(ObjectImpl* o) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  uint32_t h = newHandle(r);
  r.objects[h] = o;
  return h;
}

void unregisterObject(uint32_t handle) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.objects.erase(handle);
}

void registerEventNames(const ClassLibrary* library) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (int32_t c = 0; c < library->classCount; ++c) {
    const ClassDef& cls = library->classes[c];
    for (int32_t e = 0; e < cls.eventCount; ++e) {
      std::string name = lowered(cls.events[e].name);
      if (r.eventTokens.count(name) != 0 || r.eventNames.size() >= 0x7FFF) continue;
      r.eventTokens.emplace(name, static_cast<int32_t>(r.eventNames.size()));
      r.eventNames.push_back(std::move(name));
    }
  }
}

}  // namespace internal

using namespace internal;

int32_t vmPrepareRuntime() {
  if (int32_t st = injected(Op::PrepareRuntime)) return st;
  (void)registry();
  gPrepareCount.fetch_add(1, std::memory_order_relaxed);
  return kVmOk;
}

int32_t vmTxnServerValue(uint32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::TxnServerValue)) return st;
  *out = kTxnServerValue;
  return kVmOk;
}

int32_t vmClassOfObject(uint32_t contextHandle, uint32_t objectHandle, uint32_t* classHandle) {
  if (classHandle == nullptr) return kVmErrBadArgument;
  *classHandle = kNoClass;
  if (int32_t st = injected(Op::ClassOfObject)) return st;
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (r.sessions.count(contextHandle) == 0) return kVmErrBadHandle;
  auto it = r.objects.find(objectHandle);
  if (it == r.objects.end()) return kVmOk;
  const ClassDef* cls = it->second->cls();
  for (size_t i = 0; i < r.classes.size(); ++i) {
    if (r.classes[i] == cls) {
      *classHandle = static_cast<uint32_t>(i);
      return kVmOk;
    }
  }
  if (r.classes.size() >= 0xFFFF) return kVmErrOutOfRange;
  r.classes.push_back(cls);
  *classHandle = static_cast<uint32_t>(r.classes.size() - 1);
  return kVmOk;
}

int32_t vmEventNameToken(const char* eventName, int32_t* token) {
  if (token == nullptr) return kVmErrBadArgument;
  *token = kNoEventToken;
  if (int32_t st = injected(Op::EventNameToken)) return st;
  if (eventName == nullptr) return kVmErrBadArgument;
  Registry& r = registry();
  std::string name = lowered(eventName);
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.eventTokens.find(name);
  if (it != r.eventTokens.end()) *token = it->second;
  return kVmOk;
}

int32_t vmFindEvent(uint32_t contextHandle, uint32_t classHandle, int16_t token,
                    uint32_t* eventIndex) {
  if (eventIndex == nullptr) return kVmErrBadArgument;
  *eventIndex = kNoEvent;
  if (int32_t st = injected(Op::FindEvent)) return st;
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  if (r.sessions.count(contextHandle) == 0 || classHandle >= r.classes.size()) {
    return kVmErrBadHandle;
  }
  if (token < 0 || static_cast<size_t>(token) >= r.eventNames.size()) return kVmOk;
  const ClassDef* cls = r.classes[classHandle];
  const char* wanted = r.eventNames[static_cast<size_t>(token)].c_str();
  for (int32_t i = 0; i < cls->eventCount; ++i) {
    if (sameName(cls->events[i].name, wanted)) {
      *eventIndex = static_cast<uint32_t>(i);
      return kVmOk;
    }
  }
  return kVmOk;
}

int32_t vmTriggerEvent(uint32_t objectHandle, int32_t reserved1, uint32_t eventIndex,
                       int32_t reserved2, int32_t reserved3, uint8_t* result) {
  if (result == nullptr) return kVmErrBadArgument;
  std::memset(result, 0, kEventResultBytes);
  if (int32_t st = injected(Op::TriggerEvent)) return st;
  if (reserved1 != 0 || reserved2 != 0 || reserved3 != 0) return kVmErrBadArgument;
  ObjectImpl* object = nullptr;
  {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.objects.find(objectHandle);
    if (it == r.objects.end()) return kVmErrBadHandle;
    object = it->second;
    object->AddRef();  // the event may run long; keep the object alive meanwhile
  }
  const ClassDef* cls = object->cls();
  int32_t st = kVmErrBadHandle;
  if (eventIndex < static_cast<uint32_t>(cls->eventCount)) {
    int32_t value = 0;
    st = cls->events[eventIndex].handler(object->instance(), &value);
    if (st >= 0) {
      uint64_t wide = static_cast<uint64_t>(static_cast<int64_t>(value));
      for (int i = 0; i < kEventResultBytes; ++i) result[i] = static_cast<uint8_t>(wide >> (8 * i));
    }
  }
  object->Release();
  return st;
}

namespace testing {
int64_t prepareRuntimeCount() { return gPrepareCount.load(std::memory_order_relaxed); }
}  // namespace testing

}  // namespace mvcomm::vm
