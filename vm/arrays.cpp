// File: vm/arrays.cpp
//
// Bounds, bounds lists and arrays. An array keeps one slot per element,
// first dimension fastest; an element's value is made when it is first read
// or stored.

#include "vm/internal/products.h"
#include "vm/vm_api.h"

namespace mvcomm::vm {
namespace internal {

// ---- bound ----
int32_t BoundImpl::lower(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::BoundLower)) return st;
  *out = lower_;
  return kVmOk;
}

int32_t BoundImpl::count(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::BoundCount)) return st;
  *out = static_cast<int32_t>(int64_t{upper_} - lower_ + 1);
  return kVmOk;
}

int32_t BoundImpl::upper(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::BoundUpper)) return st;
  *out = upper_;
  return kVmOk;
}

// ---- bounds list ----
BoundsListImpl::~BoundsListImpl() {
  for (BoundImpl* b : bounds_) b->Release();
}

int32_t BoundsListImpl::append(IVMBound* bound) {
  auto* b = impl<BoundImpl>(bound);
  if (b == nullptr) return kVmErrBadArgument;
  if (int32_t st = injected(Op::BoundsListAppend)) return st;
  try {
    bounds_.push_back(b);
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
  b->AddRef();
  return kVmOk;
}

int32_t BoundsListImpl::adopt(BoundImpl* bound) {
  try {
    bounds_.push_back(bound);
  } catch (const std::bad_alloc&) {
    bound->Release();
    return kVmErrNoMemory;
  }
  return kVmOk;
}

int32_t BoundsListImpl::count(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::BoundsListCount)) return st;
  *out = static_cast<int32_t>(bounds_.size());
  return kVmOk;
}

int32_t BoundsListImpl::handOut(size_t index, IVMBound** out) {
  if (index >= bounds_.size()) return kVmErrNoMoreItems;
  bounds_[index]->AddRef();
  *out = bounds_[index];
  return kVmOk;
}

int32_t BoundsListImpl::boundAt(int32_t index, IVMBound** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::BoundsListBoundAt)) return st;
  if (index < 0) return kVmErrOutOfRange;
  int32_t st = handOut(static_cast<size_t>(index), out);
  return st == kVmErrNoMoreItems ? kVmErrOutOfRange : st;
}

int32_t BoundsListImpl::first(IVMBound** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::BoundsListFirst)) return st;
  cursor_ = 1;
  return handOut(0, out);
}

int32_t BoundsListImpl::next(IVMBound** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::BoundsListNext)) return st;
  int32_t st = handOut(cursor_, out);
  if (st == kVmOk) ++cursor_;
  return st;
}

// ---- array ----
namespace {
int64_t elementCount(const std::vector<ArrayImpl::Dim>& dims) {
  int64_t n = 1;
  for (const auto& d : dims) {
    n *= int64_t{d.upper} - d.lower + 1;
    if (n > kMaxArrayElements) return -1;
  }
  return n;
}
}  // namespace

ArrayImpl::ArrayImpl(std::vector<Dim> dims, int32_t elementType, bool dynamic)
    : dims_(std::move(dims)), elementType_(elementType), dynamic_(dynamic) {
  elements_.assign(static_cast<size_t>(elementCount(dims_)), nullptr);
}

ArrayImpl::~ArrayImpl() {
  for (ValueImpl* v : elements_) {
    if (v != nullptr) v->Release();
  }
}

int64_t ArrayImpl::offsetOf(const int32_t* indices, int32_t dimensions) const {
  if (indices == nullptr || dimensions != static_cast<int32_t>(dims_.size())) return -1;
  int64_t offset = 0, stride = 1;
  for (size_t d = 0; d < dims_.size(); ++d) {
    if (indices[d] < dims_[d].lower || indices[d] > dims_[d].upper) return -1;
    offset += (int64_t{indices[d]} - dims_[d].lower) * stride;
    stride *= int64_t{dims_[d].upper} - dims_[d].lower + 1;
  }
  return offset;
}

int32_t ArrayImpl::elementAt(const int32_t* indices, int32_t dimensions, IVMValue** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::ArrayElementAt)) return st;
  if (indices == nullptr || dimensions != static_cast<int32_t>(dims_.size())) {
    return kVmErrBadArgument;
  }
  int64_t at = offsetOf(indices, dimensions);
  if (at < 0) return kVmErrOutOfRange;
  ValueImpl*& slot = elements_[static_cast<size_t>(at)];
  if (slot == nullptr) {
    slot = new (std::nothrow) ValueImpl(elementType_);
    if (slot == nullptr) return kVmErrNoMemory;
  }
  *out = slot;  // borrowed
  return kVmOk;
}

int32_t ArrayImpl::storeElement(const int32_t* indices, int32_t dimensions, IVMValue* value) {
  // The array owns `value` from here on, whatever happens.
  auto* v = impl<ValueImpl>(value);
  auto refuse = [value](int32_t st) {
    if (value != nullptr) value->Release();
    return st;
  };
  if (v == nullptr) return refuse(kVmErrBadArgument);
  if (int32_t st = injected(Op::ArrayStoreElement)) return refuse(st);
  if (indices == nullptr || dimensions != static_cast<int32_t>(dims_.size())) {
    return refuse(kVmErrBadArgument);
  }
  if (v->type() != elementType_) return refuse(kVmErrTypeMismatch);
  int64_t at = offsetOf(indices, dimensions);
  if (at < 0 && dynamic_ && dims_.size() == 1 && indices[0] > dims_[0].upper) {
    int64_t count = int64_t{indices[0]} - dims_[0].lower + 1;
    if (count > kMaxArrayElements) return refuse(kVmErrOutOfRange);
    try {
      elements_.resize(static_cast<size_t>(count), nullptr);
    } catch (const std::bad_alloc&) {
      return refuse(kVmErrNoMemory);
    }
    dims_[0].upper = indices[0];
    at = offsetOf(indices, dimensions);
  }
  if (at < 0) return refuse(kVmErrOutOfRange);
  ValueImpl*& slot = elements_[static_cast<size_t>(at)];
  if (slot != nullptr && slot != v) slot->Release();
  if (slot == v) v->Release();  // storing the element's own value again: keep one reference
  slot = v;
  return kVmOk;
}

int32_t ArrayImpl::dimensionCount(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::ArrayDimensionCount)) return st;
  *out = static_cast<int32_t>(dims_.size());
  return kVmOk;
}

int32_t ArrayImpl::boundsList(IVMBoundsList** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::ArrayBoundsList)) return st;
  auto* list = new (std::nothrow) BoundsListImpl();
  if (list == nullptr) return kVmErrNoMemory;
  for (const Dim& d : dims_) {
    auto* b = new (std::nothrow) BoundImpl(d.lower, d.upper);
    if (b == nullptr) {
      list->Release();
      return kVmErrNoMemory;
    }
    if (int32_t st = list->adopt(b); st != kVmOk) {
      list->Release();
      return st;
    }
  }
  *out = list;
  return kVmOk;
}

int32_t ArrayImpl::elementType(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::ArrayElementType)) return st;
  *out = elementType_;
  return kVmOk;
}

namespace {
int32_t makeArray(Op op, bool dynamic, IVMBoundsList* bounds, int32_t elementType,
                  IVMValueContext* context, IVMArray** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(op)) return st;
  auto* list = impl<BoundsListImpl>(bounds);
  if (list == nullptr || impl<ValueContextImpl>(context) == nullptr) return kVmErrBadArgument;
  if (list->bounds().empty()) return kVmErrBadArgument;
  if (!isTypeCode(elementType)) return kVmErrTypeMismatch;
  std::vector<ArrayImpl::Dim> dims;
  try {
    for (const BoundImpl* b : list->bounds()) dims.push_back({b->lo(), b->hi()});
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
  if (elementCount(dims) < 0) return kVmErrOutOfRange;
  try {
    return makeInto<ArrayImpl>(out, std::move(dims), elementType, dynamic);
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
}
}  // namespace

}  // namespace internal

using namespace internal;

int32_t vmMakeBound(int32_t lower, int32_t upper, IVMValueContext* context, IVMBound** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::MakeBound)) return st;
  if (impl<ValueContextImpl>(context) == nullptr) return kVmErrBadArgument;
  if (int64_t{upper} < int64_t{lower} - 1) return kVmErrOutOfRange;
  return makeInto<BoundImpl>(out, lower, upper);
}

int32_t vmMakeBoundsList(IVMBoundsList** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::MakeBoundsList)) return st;
  return makeInto<BoundsListImpl>(out);
}

int32_t vmMakeArray(IVMBoundsList* bounds, int32_t elementType, IVMValueContext* context,
                    IVMArray** out) {
  return makeArray(Op::MakeArray, false, bounds, elementType, context, out);
}

int32_t vmMakeDynamicArray(IVMBoundsList* bounds, int32_t elementType, IVMValueContext* context,
                           IVMArray** out) {
  return makeArray(Op::MakeDynamicArray, true, bounds, elementType, context, out);
}

}  // namespace mvcomm::vm
