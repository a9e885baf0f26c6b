// File: arrays/array_entry_points.cpp
//
// The array operations of PBCOMTypeConverter: each makes a marshaller for
// one conversion, fills, hands the array over and discards the marshaller.
// Element failures end the fill but are not reported: the entry points give
// 0 once their arguments are valid.
#include <new>

#include "arrays/pbcom_array_marshaller.h"
#include "platform/ole/variant_ref.h"

namespace mvcomm::convert {

using arrays::PBCOMArrayMarshaller;

int32_t PBCOMTypeConverter::SafeArrayToVMArray(vm::IVMArray** dest, vm::IVMValueContext* context,
                                               SAFEARRAY* src, int32_t elementType,
                                               int32_t arrayKind) {
  if (dest == nullptr || context == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  // A marshaller that cannot be made, or runs out of memory on its way,
  // gives no array, as the walk does for an element it cannot carry.
  std::unique_ptr<PBCOMArrayMarshaller> marshaller;
  try {
    marshaller = std::make_unique<PBCOMArrayMarshaller>(src, elementType, context, arrayKind);
    if (marshaller->vmArray() != nullptr) (void)marshaller->FillVMArray();
  } catch (const std::bad_alloc&) {
    return kPbcomOk;
  }
  *dest = marshaller->vmArray();
  if (*dest != nullptr) (*dest)->AddRef();
  return kPbcomOk;
}

int32_t PBCOMTypeConverter::SafeArrayRefToVMArray(vm::IVMArray** dest,
                                                  vm::IVMValueContext* context, SAFEARRAY** src,
                                                  int32_t elementType, int32_t arrayKind) {
  if (src == nullptr) return kPbcomErrBadArgument;
  return SafeArrayToVMArray(dest, context, *src, elementType, arrayKind);
}

int32_t PBCOMTypeConverter::VariantToVMArray(vm::IVMArray** dest, vm::IVMValueContext* context,
                                             const VARIANT* src, int32_t elementType,
                                             int32_t arrayKind) {
  if (src == nullptr) return kPbcomErrBadArgument;
  const VARIANT* v = ole::followVariantReference(src);
  if (v == nullptr) return kPbcomErrBadArgument;
  if ((v->vt & VT_BYREF) != 0 && (v->vt & VT_ARRAY) != 0) {
    return SafeArrayRefToVMArray(dest, context, v->pparray, elementType, arrayKind);
  }
  if ((v->vt & VT_ARRAY) != 0) {
    SAFEARRAY* psa = v->parray;
    return SafeArrayRefToVMArray(dest, context, &psa, elementType, arrayKind);
  }
  return kPbcomErrBadArgument;
}

namespace {

// Fills *slot (an existing SAFEARRAY, or null for a new one) from the VM
// array. False when no marshaller could be made.
bool fillSafeArray(SAFEARRAY** slot, vm::IVMArray* src, int32_t elementType) {
  std::unique_ptr<PBCOMArrayMarshaller> marshaller;
  try {
    marshaller = std::make_unique<PBCOMArrayMarshaller>(src, *slot, elementType);
    (void)marshaller->FillSafeArray();
  } catch (const std::bad_alloc&) {
    // A new array made on the way is nobody's yet.
    if (*slot == nullptr && marshaller != nullptr && marshaller->safeArray() != nullptr)
      (void)SafeArrayDestroy(marshaller->safeArray());
    return false;
  }
  if (*slot == nullptr) *slot = marshaller->safeArray();
  return true;
}

}  // namespace

int32_t PBCOMTypeConverter::VMArrayToSafeArray(SAFEARRAY** dest, vm::IVMValueContext*,
                                               vm::IVMArray* src, int32_t elementType) {
  if (src == nullptr || dest == nullptr) return kPbcomErrBadArgument;
  (void)fillSafeArray(dest, src, elementType);
  return kPbcomOk;
}

int32_t PBCOMTypeConverter::VMArrayToVariant(VARIANT* dest, vm::IVMValueContext*,
                                             vm::IVMArray* src, int32_t elementType) {
  if (src == nullptr || dest == nullptr) return kPbcomErrBadArgument;
  if (dest->vt == (VT_BYREF | VT_VARIANT)) return E_FAIL;
  SAFEARRAY** slot = nullptr;
  if ((dest->vt & VT_BYREF) != 0 && (dest->vt & VT_ARRAY) != 0) {
    slot = dest->pparray;
  } else if ((dest->vt & VT_ARRAY) != 0) {
    slot = &dest->parray;
  }
  if (slot == nullptr) return kPbcomErrBadArgument;
  return fillSafeArray(slot, src, elementType) ? kPbcomOk : kPbcomErrBadArgument;
}

}  // namespace mvcomm::convert
