// File: convert/objects.cpp
//
// The types whose VM form is an object of its own: decimals (as double or
// DECIMAL), blobs (as one-dimensional byte SAFEARRAYs) and object
// references (as IDispatch).
#include <cstring>

#include "convert/internal/variant_rules.h"
#include "convert/pbcom_type_converter.h"
#include "platform/ole/variant_ref.h"
#include "vm/vm_api.h"

namespace mvcomm::convert {

namespace {

using internal::coerce;
using internal::storeByRule;

// A SAFEARRAY a blob may be read from or written into: one dimension of
// one-byte elements that own nothing.
bool isByteVector(SAFEARRAY* psa) {
  constexpr USHORT kOwning = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;
  return SafeArrayGetDim(psa) == 1 && SafeArrayGetElemsize(psa) == 1 &&
         (psa->fFeatures & kOwning) == 0;
}

// The blob's length and bytes; -8303 for an empty blob or one that gives
// neither. Otherwise the status of the bytes request.
int32_t blobContents(vm::IVMBlob* blob, int32_t* length, const uint8_t** bytes) {
  if (blob == nullptr) return kPbcomErrBadArgument;
  if (blob->length(length) < 0 || *length <= 0) return kPbcomErrBadArgument;
  const int32_t status = blob->bytes(bytes);
  if (status < 0 || *bytes == nullptr) return kPbcomErrBadArgument;
  return status;
}

// Resizes a byte vector to 0 .. length-1 (when asked) and stores the bytes.
// The first failing SafeArrayPutElement's status, or `okStatus`.
int32_t fillByteVector(SAFEARRAY* psa, int32_t length, const uint8_t* bytes, bool resize,
                       int32_t okStatus) {
  if (resize) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(length), 0};
    if (FAILED(SafeArrayRedim(psa, &bound))) return kPbcomErrBadArgument;
  }
  for (LONG i = 0; i < length; ++i) {
    uint8_t byte = bytes[i];
    const HRESULT put = SafeArrayPutElement(psa, &i, &byte);
    if (FAILED(put)) return put;
  }
  return okStatus;
}

}  // namespace

// ---- decimals ---------------------------------------------------------------

int32_t PBCOMTypeConverter::DoubleToVMDecimal(vm::IVMDecimal** dest, double src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  if (vm::vmMakeDecimal(dest) < 0) {
    *dest = nullptr;
    return E_FAIL;
  }
  return (*dest)->fromDouble(src);
}

int32_t PBCOMTypeConverter::DoubleRefToVMDecimal(vm::IVMDecimal** dest, const double* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  return DoubleToVMDecimal(dest, *src);
}

int32_t PBCOMTypeConverter::VMDecimalToDouble(double* dest, vm::IVMDecimal* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  return src->toDouble(dest);
}

int32_t PBCOMTypeConverter::VariantToVMDecimal(vm::IVMDecimal** dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  VARIANT temp;
  const int32_t status = coerce(&temp, src, VT_R8);
  if (FAILED(status)) return status;
  return DoubleToVMDecimal(dest, temp.dblVal);
}

int32_t PBCOMTypeConverter::VMDecimalToVariant(VARIANT* dest, vm::IVMDecimal* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  double value = 0.0;
  const int32_t status = VMDecimalToDouble(&value, src);
  if (FAILED(status)) return status;
  if (dest->vt == (VT_BYREF | VT_R8)) {
    if (dest->pdblVal == nullptr) return kPbcomErrBadArgument;
    *dest->pdblVal = value;
    return status;
  }
  // Any other reference must be to a DECIMAL: 16 bytes never go through a
  // reference to something smaller.
  if ((dest->vt & VT_BYREF) != 0 &&
      (dest->vt != (VT_BYREF | VT_DECIMAL) || dest->pdecVal == nullptr)) {
    return kPbcomErrBadArgument;
  }
  DECIMAL decimal;
  std::memset(&decimal, 0, sizeof decimal);
  const HRESULT made = VarDecFromR8(value, &decimal);
  if (FAILED(made)) return made;
  if ((dest->vt & VT_BYREF) != 0) {
    DECIMAL* reference = dest->pdecVal;
    const HRESULT cleared = VariantClear(dest);
    if (FAILED(cleared)) return cleared;
    dest->vt = static_cast<VARTYPE>(VT_BYREF | VT_DECIMAL);
    dest->pdecVal = reference;
    decimal.wReserved = 0;
    *reference = decimal;
    return status;
  }
  const HRESULT cleared = VariantClear(dest);
  if (FAILED(cleared)) return cleared;
  // The DECIMAL covers the tag, so the tag goes in after it.
  dest->decVal = decimal;
  dest->vt = VT_DECIMAL;
  return status;
}

// ---- blobs ---------------------------------------------------------------------

int32_t PBCOMTypeConverter::SafeArrayToVMBlob(vm::IVMBlob** dest, SAFEARRAY** src) {
  if (dest == nullptr || src == nullptr || *src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  SAFEARRAY* psa = *src;
  if (SafeArrayGetDim(psa) != 1 || SafeArrayGetElemsize(psa) != 1) return kPbcomErrBadArgument;
  LONG lower = 0;
  LONG upper = 0;
  if (FAILED(SafeArrayGetLBound(psa, 1, &lower)) || FAILED(SafeArrayGetUBound(psa, 1, &upper))) {
    return kPbcomErrBadArgument;
  }
  const int64_t count = int64_t{upper} - lower + 1;
  if (count < 0 || count > INT32_MAX) return kPbcomErrBadArgument;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(psa, &data))) return kPbcomErrBadArgument;
  const int32_t status =
      vm::vmMakeBlob(static_cast<int32_t>(count), static_cast<const uint8_t*>(data), dest);
  SafeArrayUnaccessData(psa);
  if (status < 0 && *dest != nullptr) {
    (*dest)->Release();
    *dest = nullptr;
  }
  return status;
}

int32_t PBCOMTypeConverter::VariantToVMBlob(vm::IVMBlob** dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  const VARIANT* v = ole::followVariantReference(src);
  if (v == nullptr) return kPbcomErrBadArgument;
  if ((v->vt & VT_BYREF) != 0 && (v->vt & VT_ARRAY) != 0) return SafeArrayToVMBlob(dest, v->pparray);
  if ((v->vt & VT_ARRAY) != 0) {
    SAFEARRAY* psa = v->parray;
    return SafeArrayToVMBlob(dest, &psa);
  }
  return kPbcomErrBadArgument;
}

int32_t PBCOMTypeConverter::VMBlobToSafeArray(SAFEARRAY** dest, vm::IVMBlob* src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  int32_t length = 0;
  const uint8_t* bytes = nullptr;
  const int32_t status = blobContents(src, &length, &bytes);
  if (status < 0) return status;
  bool resize = true;
  if (*dest == nullptr) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(length), 0};
    *dest = SafeArrayCreate(VT_UI1, 1, &bound);
    resize = false;
  } else if (!isByteVector(*dest)) {
    return kPbcomErrBadArgument;
  }
  if (*dest == nullptr) return kPbcomErrBadArgument;
  return fillByteVector(*dest, length, bytes, resize, status);
}

int32_t PBCOMTypeConverter::VMBlobToVariant(VARIANT* dest, vm::IVMBlob* src) {
  int32_t length = 0;
  const uint8_t* bytes = nullptr;
  const int32_t status = blobContents(src, &length, &bytes);
  if (status < 0) return status;
  if (dest == nullptr) return kPbcomErrBadArgument;
  SAFEARRAY* psa = nullptr;
  if (dest->vt == (VT_BYREF | VT_VARIANT)) return E_FAIL;
  if ((dest->vt & VT_BYREF) != 0 && (dest->vt & VT_ARRAY) != 0) {
    if (dest->pparray == nullptr) return kPbcomErrBadArgument;
    psa = *dest->pparray;
  } else if ((dest->vt & VT_ARRAY) != 0) {
    psa = dest->parray;
  } else {
    return kPbcomErrBadArgument;
  }
  if (psa == nullptr || !isByteVector(psa)) return kPbcomErrBadArgument;
  return fillByteVector(psa, length, bytes, true, kPbcomOk);
}

// ---- object references ----------------------------------------------------------

int32_t PBCOMTypeConverter::UnknownToVMObject(vm::IVMObject** dest, IUnknown* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  return src->QueryInterface(vm::IID_IVMObject, reinterpret_cast<void**>(dest));
}

int32_t PBCOMTypeConverter::UnknownRefToVMObject(vm::IVMObject** dest, IUnknown** src) {
  if (src == nullptr) return kPbcomErrBadArgument;
  return UnknownToVMObject(dest, *src);
}

int32_t PBCOMTypeConverter::VMObjectToDispatch(IDispatch** dest, vm::IVMObject* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  IDispatch* dispatch = nullptr;
  const HRESULT status =
      src->QueryInterface(vm::IID_IVMAutomation, reinterpret_cast<void**>(&dispatch));
  *dest = FAILED(status) ? nullptr : dispatch;
  return status;
}

int32_t PBCOMTypeConverter::VariantToVMObject(vm::IVMObject** dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  VARIANT temp;
  const int32_t status = coerce(&temp, src, VT_DISPATCH);
  if (FAILED(status)) return status;
  const int32_t result = UnknownToVMObject(dest, temp.pdispVal);
  VariantClear(&temp);
  return result;
}

int32_t PBCOMTypeConverter::VMObjectToVariant(VARIANT* dest, vm::IVMObject* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  IDispatch* dispatch = nullptr;
  const int32_t status = VMObjectToDispatch(&dispatch, src);
  if (FAILED(status)) return status;
  const int32_t stored = storeByRule(dest, VT_DISPATCH, dispatch);
  if (FAILED(stored) && dispatch != nullptr) dispatch->Release();
  return FAILED(stored) ? stored : status;
}

}  // namespace mvcomm::convert
