// File: arrays/pbcom_array_marshaller.cpp
//
// The walker: construction in both directions, the index walk and the two
// fills. The element steps are in array_elements.cpp.
#include "arrays/pbcom_array_marshaller.h"

#include <limits>

#include "vm/vm_api.h"

namespace mvcomm::arrays {

namespace {

constexpr int64_t kLongMin = std::numeric_limits<LONG>::min();
constexpr int64_t kLongMax = std::numeric_limits<LONG>::max();
constexpr int64_t kCountMax = std::numeric_limits<ULONG>::max();

}  // namespace

void PBCOMArrayMarshaller::prepareWalk(uint32_t dimensions) {
  dimensions_ = dimensions;
  bounds_.assign(dimensions, SAFEARRAYBOUND{0, 0});
  indices_.assign(dimensions, 0);
  vmIndex_.assign(dimensions, 0);
  if (!indices_.empty()) indices_[0] = -1;
}

PBCOMArrayMarshaller::PBCOMArrayMarshaller(SAFEARRAY* safeArray, int32_t elementType,
                                           vm::IVMValueContext* context, int32_t arrayKind)
    : safeArray_(safeArray), vmContext_(context), elementType_(elementType), ownsVmArray_(true) {
  prepareWalk(safeArray != nullptr ? SafeArrayGetDim(safeArray) : 0);
  if (vm::vmMakeBoundsList(&boundsList_) < 0) {
    boundsList_ = nullptr;
    return;
  }
  for (uint32_t d = 1; d <= dimensions_; ++d) {
    LONG lower = 0;
    LONG upper = 0;
    if (FAILED(SafeArrayGetLBound(safeArray_, d, &lower)) ||
        FAILED(SafeArrayGetUBound(safeArray_, d, &upper))) {
      return;
    }
    const int64_t count = int64_t{upper} - lower + 1;
    if (count < 0) return;  // bounds no array can have
    bounds_[d - 1] = SAFEARRAYBOUND{static_cast<ULONG>(count), lower};
    int64_t vmLower = 1;
    int64_t vmUpper = upper;
    if (lower != 1) {
      shifted_ = 1;
      vmLower = int64_t{lower} + 1;
      vmUpper = int64_t{upper} + 1;
    }
    // A bound moved past the top of 32 bits has no VM form.
    if (vmLower > kLongMax || vmUpper > kLongMax) return;
    vm::IVMBound* bound = nullptr;
    if (vm::vmMakeBound(static_cast<int32_t>(vmLower), static_cast<int32_t>(vmUpper), vmContext_,
                        &bound) < 0) {
      return;
    }
    const int32_t appended = boundsList_->append(bound);
    bound->Release();
    if (appended < 0) return;
  }
  const int32_t status =
      arrayKind != 0 ? vm::vmMakeArray(boundsList_, elementType_, vmContext_, &vmArray_)
                     : vm::vmMakeDynamicArray(boundsList_, elementType_, vmContext_, &vmArray_);
  if (status < 0 && vmArray_ != nullptr) {
    vmArray_->Release();
    vmArray_ = nullptr;
  }
}

PBCOMArrayMarshaller::PBCOMArrayMarshaller(vm::IVMArray* vmArray, SAFEARRAY* existing,
                                           int32_t elementType)
    : vmArray_(vmArray), elementType_(elementType) {
  int32_t dimensions = 0;
  if (vmArray_->dimensionCount(&dimensions) < 0 || dimensions < 0) dimensions = 0;
  prepareWalk(static_cast<uint32_t>(dimensions));
  bool complete = vmArray_->boundsList(&boundsList_) >= 0 && boundsList_ != nullptr;
  if (!complete) boundsList_ = nullptr;
  // The descriptor keeps its dimensions reversed: rgsabound[0] is the last
  // dimension, which for one dimension is the array's only lower bound.
  if (existing != nullptr && existing->rgsabound[0].lLbound == 0) shifted_ = 1;
  vm::IVMBound* bound = nullptr;
  if (complete && dimensions_ > 0 && (boundsList_->first(&bound) < 0 || bound == nullptr)) {
    complete = false;
  }
  for (uint32_t d = 0; complete && d < dimensions_; ++d) {
    int32_t lower = 0;
    int32_t upper = 0;
    if (bound->lower(&lower) < 0 || bound->upper(&upper) < 0) {
      complete = false;
      break;
    }
    const int64_t count = int64_t{upper} - lower + 1;
    const int64_t saLower = shifted_ ? int64_t{lower} - 1 : int64_t{lower};
    // A dimension spanning all 32 bits has one element more than a
    // descriptor can count (the VM allows it beside an empty dimension).
    if (count < 0 || count > kCountMax || saLower < kLongMin) {
      complete = false;
      break;
    }
    bounds_[d] = SAFEARRAYBOUND{static_cast<ULONG>(count), static_cast<LONG>(saLower)};
    bound->Release();
    bound = nullptr;
    if (d + 1 < dimensions_ && (boundsList_->next(&bound) < 0 || bound == nullptr)) {
      complete = false;
    }
  }
  if (bound != nullptr) bound->Release();
  if (!complete) {
    // Bounds that cannot be read leave nothing to walk.
    indices_.clear();
    safeArray_ = existing;
    return;
  }
  if (existing != nullptr) {
    safeArray_ = existing;
  } else if (dimensions_ > 0) {
    safeArray_ = SafeArrayCreate(VariantTypeOf(elementType_), dimensions_, bounds_.data());
  }
}

PBCOMArrayMarshaller::~PBCOMArrayMarshaller() {
  if (boundsList_ != nullptr) boundsList_->Release();
  if (ownsVmArray_ && vmArray_ != nullptr) vmArray_->Release();
}

void PBCOMArrayMarshaller::ResetIndices() {
  if (indices_.empty()) return;
  for (uint32_t d = 0; d < dimensions_; ++d) indices_[d] = bounds_[d].lLbound;
}

void PBCOMArrayMarshaller::NextIndex() {
  if (indices_.empty()) return;
  for (uint32_t d = 0; d < dimensions_; ++d) {
    const int64_t next = int64_t{indices_[d]} + 1;
    if (next < int64_t{bounds_[d].lLbound} + bounds_[d].cElements) {
      indices_[d] = static_cast<LONG>(next);
      return;
    }
    indices_[d] = bounds_[d].lLbound;
  }
  indices_[0] = -1;
}

int32_t PBCOMArrayMarshaller::FillVMArray() {
  ResetIndices();
  int32_t status = convert::kPbcomOk;
  while (walking() && status >= 0) {
    status = PutVMElement();
    NextIndex();
  }
  return status;
}

int32_t PBCOMArrayMarshaller::FillSafeArray() {
  ResetIndices();
  int32_t status = convert::kPbcomOk;
  while (walking() && status >= 0) {
    status = PutSafeArrayElement();
    NextIndex();
  }
  return status;
}

convert::PBCOMTypeConverter& PBCOMArrayMarshaller::converter() { return converter_; }

}  // namespace mvcomm::arrays
