// File: vm/object.cpp
//
// Objects: named instance variables, named functions with checked
// arguments, the value context, and the object-handle interface.

#include "vm/internal/products.h"
#include "vm/vm_api.h"

namespace mvcomm::vm {
namespace internal {

namespace {
constexpr int32_t kInlineArgs = 8;  // calls with up to this many arguments allocate nothing
}

ObjectImpl::ObjectImpl(SessionImpl* session, const ClassDef* cls, void* instance)
    : session_(session), cls_(cls), instance_(instance) {
  // Registered first: a failed registration throws before the session
  // gains the reference the destructor would give back.
  handle_ = registerObject(this);
  session_->AddRef();
}

ObjectImpl::~ObjectImpl() {
  // Unregistered first, so no event can be triggered on a dying object.
  unregisterObject(handle_);
  int32_t ignored = 0;
  (void)runEventByName("destructor", &ignored);
  cls_->destroy(instance_);
  // Last: the class's code lives in the session's module.
  session_->Release();
}

const VariableDef* ObjectImpl::findVariable(const char* name) const {
  for (int32_t i = 0; i < cls_->variableCount; ++i) {
    if (sameName(cls_->variables[i].name, name)) return &cls_->variables[i];
  }
  return nullptr;
}

const FunctionDef* ObjectImpl::findFunction(const char* name) const {
  for (int32_t i = 0; i < cls_->functionCount; ++i) {
    if (sameName(cls_->functions[i].name, name)) return &cls_->functions[i];
  }
  return nullptr;
}

int32_t ObjectImpl::readVariable(const VariableDef& var, ValueImpl** out) {
  auto* value = new (std::nothrow) ValueImpl(var.typeCode);
  if (value == nullptr) return kVmErrNoMemory;
  int32_t st = var.get(instance_, value);
  if (st < 0) {
    value->Release();
    return st;
  }
  *out = value;
  return kVmOk;
}

int32_t ObjectImpl::writeVariable(const VariableDef& var, ValueImpl& value) {
  if (var.set == nullptr) return kVmErrReadOnly;
  if (value.type() != var.typeCode) return kVmErrTypeMismatch;
  return var.set(instance_, &value);
}

int32_t ObjectImpl::runFunction(const FunctionDef& fn, IVMValue* const* args, int32_t count,
                                ValueImpl** result) {
  if (count != fn.paramCount) return kVmErrArgCount;
  for (int32_t i = 0; i < count; ++i) {
    auto* v = impl<ValueImpl>(args[i]);
    if (v == nullptr) return kVmErrBadArgument;
    if (v->type() != fn.paramTypes[i]) return kVmErrTypeMismatch;
  }
  ValueImpl* r = nullptr;
  if (fn.resultType != kNoResult) {
    r = new (std::nothrow) ValueImpl(fn.resultType);
    if (r == nullptr) return kVmErrNoMemory;
  }
  int32_t st = fn.call(instance_, args, r);
  if (st < 0) {
    if (r != nullptr) r->Release();
    return st;
  }
  *result = r;
  return st;
}

int32_t ObjectImpl::runEventByName(const char* name, int32_t* returnValue) {
  for (int32_t i = 0; i < cls_->eventCount; ++i) {
    if (sameName(cls_->events[i].name, name)) {
      *returnValue = 0;
      return cls_->events[i].handler(instance_, returnValue);
    }
  }
  return kVmOk;
}

int32_t ObjectImpl::getVariable(IVMString* name, IVMValue** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::ObjectGetVariable)) return st;
  const char* n = textOf(name);
  if (n == nullptr) return kVmErrBadArgument;
  const VariableDef* var = findVariable(n);
  if (var == nullptr) return kVmErrNoSuchVariable;
  ValueImpl* value = nullptr;
  int32_t st = readVariable(*var, &value);
  if (st >= 0) *out = value;
  return st;
}

int32_t ObjectImpl::setVariable(IVMString* name, IVMValue* value) {
  if (int32_t st = injected(Op::ObjectSetVariable)) return st;
  const char* n = textOf(name);
  auto* v = impl<ValueImpl>(value);
  if (n == nullptr || v == nullptr) return kVmErrBadArgument;
  const VariableDef* var = findVariable(n);
  if (var == nullptr) return kVmErrNoSuchVariable;
  return writeVariable(*var, *v);
}

int32_t ObjectImpl::callFunction(IVMString* name, IVMArgument* const* args, int32_t count,
                                 IVMValue** result, IUnknown** second, uint32_t* word) {
  if (result != nullptr) *result = nullptr;
  if (second != nullptr) *second = nullptr;
  if (word != nullptr) *word = 0;
  if (int32_t st = injected(Op::ObjectCallFunction)) return st;
  const char* n = textOf(name);
  if (n == nullptr || count < 0 || (count > 0 && args == nullptr)) return kVmErrBadArgument;
  const FunctionDef* fn = findFunction(n);
  if (fn == nullptr) return kVmErrNoSuchFunction;
  if (count != fn->paramCount) return kVmErrArgCount;

  IVMValue* inlineValues[kInlineArgs];
  std::vector<IVMValue*> manyValues;
  IVMValue** values = inlineValues;
  if (count > kInlineArgs) {
    try {
      manyValues.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
      return kVmErrNoMemory;
    }
    values = manyValues.data();
  }
  for (int32_t i = 0; i < count; ++i) {
    auto* a = impl<ArgumentImpl>(args[i]);
    if (a == nullptr) return kVmErrBadArgument;
    values[i] = a->borrowedValue();
  }
  ValueImpl* r = nullptr;
  int32_t st = runFunction(*fn, values, count, &r);
  if (st < 0) return st;
  if (result != nullptr) {
    *result = r;
  } else if (r != nullptr) {
    r->Release();
  }
  if (second != nullptr) {
    session_->AddRef();
    *second = static_cast<IVMSession*>(session_);
  }
  if (word != nullptr) *word = static_cast<uint32_t>(fn->resultType);
  return st;
}

int32_t ObjectImpl::className(IVMString** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::ObjectClassName)) return st;
  try {
    return makeInto<StringImpl>(out, std::string(cls_->name));
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
}

int32_t ObjectImpl::session(IVMSession** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::ObjectSession)) return st;
  session_->AddRef();
  *out = session_;
  return kVmOk;
}

int32_t ObjectImpl::variableType(IVMString* name, int32_t* typeCode, int32_t* readOnly) {
  if (typeCode == nullptr || readOnly == nullptr) return kVmErrBadArgument;
  *typeCode = 0;
  *readOnly = 0;
  if (int32_t st = injected(Op::ObjectVariableType)) return st;
  const char* n = textOf(name);
  if (n == nullptr) return kVmErrBadArgument;
  const VariableDef* var = findVariable(n);
  if (var == nullptr) return kVmErrNoSuchVariable;
  *typeCode = var->typeCode;
  *readOnly = var->set == nullptr ? 1 : 0;
  return kVmOk;
}

int32_t ObjectImpl::functionSignature(IVMString* name, int32_t* resultType, int32_t* paramCount) {
  if (resultType == nullptr || paramCount == nullptr) return kVmErrBadArgument;
  *resultType = 0;
  *paramCount = 0;
  if (int32_t st = injected(Op::ObjectFunctionSignature)) return st;
  const char* n = textOf(name);
  if (n == nullptr) return kVmErrBadArgument;
  const FunctionDef* fn = findFunction(n);
  if (fn == nullptr) return kVmErrNoSuchFunction;
  *resultType = fn->resultType;
  *paramCount = fn->paramCount;
  return kVmOk;
}

int32_t ObjectImpl::valueContext(IVMValueContext** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::ObjectValueContext)) return st;
  return makeInto<ValueContextImpl>(out, session_);
}

HRESULT ObjectImpl::queryMore(REFIID iid, void** out) {
  if (iid == IID_IVMObjectHandle) {
    auto* h = new (std::nothrow) ObjectHandleImpl(this);
    if (h == nullptr) return E_OUTOFMEMORY;
    *out = static_cast<IVMObjectHandle*>(h);
    return S_OK;
  }
  if (iid == IID_IVMAutomation) return makeAutomation(this, out);
  return E_NOINTERFACE;
}

int32_t ObjectHandleImpl::object(IVMObject** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::ObjectHandleObject)) return st;
  object_->AddRef();
  *out = object_;
  return kVmOk;
}

int32_t ObjectHandleImpl::objectHandle(uint32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::ObjectHandleValue)) return st;
  *out = object_->handle();
  return kVmOk;
}

}  // namespace internal
}  // namespace mvcomm::vm
