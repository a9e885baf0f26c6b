// File: arrays/array_elements.cpp
//
// One step of an array walk: the element at the current index, converted by
// its VM type code, from the SAFEARRAY into the VM array (PutVMElement) or
// back (PutSafeArrayElement).
//
// Elements travel through an 8-byte buffer in their automation form. A
// SAFEARRAY of VARIANTs is coerced element by element; any other SAFEARRAY
// must hold elements of the code's own size, with BSTRs exactly where the
// code is a string, or the walk ends with -8327: a wider element would
// overflow the buffer, and a number read as a BSTR (or the reverse) would be
// a wild pointer.
#include <cstdint>
#include <cstring>

#include "arrays/pbcom_array_marshaller.h"
#include "vm/vm_api.h"

namespace mvcomm::arrays {

namespace {

using convert::kPbcomErrElementRead;
using convert::kPbcomErrNoElementConversion;
using convert::kPbcomOk;

bool hasConversion(int32_t code) { return code >= vm::kTypeCharacter && code <= vm::kTypeString; }

bool holdsVariants(const SAFEARRAY* psa) { return (psa->fFeatures & FADF_VARIANT) != 0; }

// Bytes of one element of a SAFEARRAY of vt.
ULONG elementSizeOf(VARTYPE vt) {
  switch (vt) {
    case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: return 4;
    case VT_R8: case VT_DATE: return 8;
    default: return sizeof(void*);  // BSTR, interface, nested array
  }
}

// The buffer's first bytes as a T.
template <typename T>
T take(const uint64_t& buffer) {
  T value;
  std::memcpy(&value, &buffer, sizeof(T));
  return value;
}

template <typename T>
void put(uint64_t* buffer, T value) {
  std::memcpy(buffer, &value, sizeof(T));
}

template <typename T>
void release(T*& product) {
  if (product != nullptr) product->Release();
  product = nullptr;
}

}  // namespace

VARTYPE PBCOMArrayMarshaller::VariantTypeOf(int32_t elementType) {
  switch (elementType) {
    case vm::kTypeCharacter: return VT_UI1;
    case vm::kTypeWord4: return VT_I2;
    case vm::kTypeWord5: return VT_UI2;
    case vm::kTypeInteger: return VT_I2;
    case vm::kTypeUnsignedInteger: return VT_UI2;
    case vm::kTypeLong: return VT_I4;
    case vm::kTypeUnsignedLong: return VT_UI4;
    case vm::kTypeDecimal: return VT_R8;
    case vm::kTypeReal: return VT_R4;
    case vm::kTypeDouble: return VT_R8;
    case vm::kTypeBoolean: return VT_BOOL;
    case vm::kTypeDate: case vm::kTypeTime: case vm::kTypeDateTime: return VT_DATE;
    case vm::kTypeString: return VT_BSTR;
    case vm::kTypeArray: case vm::kTypeDynamicArray: return VT_SAFEARRAY;
    case vm::kTypeObject: return VT_DISPATCH;
    default: return VT_UI4;
  }
}

bool PBCOMArrayMarshaller::elementsFit() const {
  const SAFEARRAY* psa = safeArray_;
  if (psa->cDims != dimensions_) return false;
  if (holdsVariants(psa)) return psa->cbElements == sizeof(VARIANT);
  if ((psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH | FADF_RECORD)) != 0) return false;
  const bool strings = (psa->fFeatures & FADF_BSTR) != 0;
  if (strings != (elementType_ == vm::kTypeString)) return false;
  return psa->cbElements <= sizeof(uint64_t) &&
         psa->cbElements == elementSizeOf(VariantTypeOf(elementType_));
}

const int32_t* PBCOMArrayMarshaller::vmIndex(bool towardsVM) {
  for (uint32_t d = 0; d < dimensions_; ++d) {
    int64_t index = indices_[d];
    if (shifted_ != 0 && (!towardsVM || bounds_[d].lLbound != 1)) ++index;
    // Past the top of 32 bits there is no such VM element.
    if (index > INT32_MAX) return nullptr;
    vmIndex_[d] = static_cast<int32_t>(index);
  }
  return vmIndex_.data();
}

int32_t PBCOMArrayMarshaller::PutVMElement() {
  if (!walking() || safeArray_ == nullptr) return kPbcomOk;
  vm::IVMValue* value = nullptr;
  int32_t status = vm::vmMakeValue(elementType_, vmContext_, &value);
  if (status < 0) {
    release(value);
    return status;
  }

  uint64_t buffer = 0;
  VARIANT element;
  VARIANT coerced;
  std::memset(&element, 0, sizeof element);
  std::memset(&coerced, 0, sizeof coerced);
  const bool variants = holdsVariants(safeArray_);
  bool read = false;
  if (!elementsFit()) {
    status = kPbcomErrElementRead;
  } else if (variants) {
    read = SUCCEEDED(SafeArrayGetElement(safeArray_, indices_.data(), &element)) &&
           SUCCEEDED(VariantChangeType(&coerced, &element, 0, VariantTypeOf(elementType_)));
    if (read) std::memcpy(&buffer, &coerced.llVal, sizeof buffer);
    status = read ? kPbcomOk : kPbcomErrElementRead;
  } else {
    read = SUCCEEDED(SafeArrayGetElement(safeArray_, indices_.data(), &buffer));
    status = read ? kPbcomOk : kPbcomErrElementRead;
  }

  if (status >= 0) {
    switch (elementType_) {
      case vm::kTypeCharacter:
        status = value->setCharacter(static_cast<int8_t>(take<uint8_t>(buffer)));
        break;
      case vm::kTypeWord4:
        status = value->setWord4(take<int32_t>(buffer));
        break;
      case vm::kTypeWord5:
        status = value->setWord5(take<uint32_t>(buffer));
        break;
      case vm::kTypeInteger:
        status = value->setInteger(take<int16_t>(buffer));
        break;
      case vm::kTypeUnsignedInteger:
        status = value->setUnsignedInteger(take<uint16_t>(buffer));
        break;
      case vm::kTypeLong:
        status = value->setLong(take<int32_t>(buffer));
        break;
      case vm::kTypeUnsignedLong:
        status = value->setUnsignedLong(take<uint32_t>(buffer));
        break;
      case vm::kTypeDecimal: {
        vm::IVMDecimal* decimal = nullptr;
        status = converter().DoubleToVMDecimal(&decimal, take<double>(buffer));
        if (status >= 0) status = value->setDecimal(decimal);
        release(decimal);
        break;
      }
      case vm::kTypeReal:
        status = value->setReal(take<float>(buffer));
        break;
      case vm::kTypeDouble:
        status = value->setDouble(take<double>(buffer));
        break;
      case vm::kTypeBoolean: {
        int32_t boolean = 0;
        status = converter().VariantBoolToBoolean(&boolean, take<VARIANT_BOOL>(buffer));
        if (status >= 0) status = value->setBoolean(boolean);
        break;
      }
      case vm::kTypeDate: {
        vm::IVMDate* date = nullptr;
        status = converter().DateToVMDate(&date, take<DATE>(buffer));
        if (status >= 0) status = value->setDate(date);
        release(date);
        break;
      }
      case vm::kTypeTime: {
        vm::IVMTime* time = nullptr;
        status = converter().DateToVMTime(&time, take<DATE>(buffer));
        if (status >= 0) status = value->setTime(time);
        release(time);
        break;
      }
      case vm::kTypeDateTime: {
        vm::IVMDateTime* dateTime = nullptr;
        status = converter().DateToVMDateTime(&dateTime, take<DATE>(buffer));
        if (status >= 0) status = value->setDateTime(dateTime);
        release(dateTime);
        break;
      }
      case vm::kTypeString: {
        vm::IVMString* text = nullptr;
        status = converter().BstrToVMString(&text, take<BSTR>(buffer));
        if (status >= 0) status = value->setString(text);
        release(text);
        break;
      }
      default:
        status = kPbcomErrNoElementConversion;
        break;
    }
  }

  const int32_t* index = status >= 0 ? vmIndex(true) : nullptr;
  if (status >= 0 && index == nullptr) status = kPbcomErrElementRead;
  if (status >= 0) {
    // The array takes the value's reference; its status is not ours.
    (void)vmArray_->storeElement(index, static_cast<int32_t>(dimensions_), value);
    value = nullptr;
  }
  release(value);
  if (variants) {
    VariantClear(&element);
    VariantClear(&coerced);
  } else if (read && elementType_ == vm::kTypeString) {
    SysFreeString(take<BSTR>(buffer));
  }
  return status;
}

int32_t PBCOMArrayMarshaller::PutSafeArrayElement() {
  if (!walking() || safeArray_ == nullptr) return kPbcomOk;
  // The array lends its element: it is not released here.
  vm::IVMValue* value = nullptr;
  const int32_t* index = vmIndex(false);
  if (index == nullptr || vmArray_->elementAt(index, static_cast<int32_t>(dimensions_), &value) < 0 ||
      value == nullptr) {
    return kPbcomErrElementRead;
  }
  if (!hasConversion(elementType_)) return kPbcomErrNoElementConversion;
  if (!elementsFit()) return kPbcomErrElementRead;

  uint64_t buffer = 0;
  int32_t status = kPbcomOk;
  switch (elementType_) {
    case vm::kTypeCharacter: {
      uint8_t byte = 0;
      status = value->getCharacter(&byte);
      put(&buffer, byte);
      break;
    }
    case vm::kTypeWord4: {
      int32_t word = 0;
      status = value->getWord4(&word);
      put(&buffer, word);
      break;
    }
    case vm::kTypeWord5: {
      uint32_t word = 0;
      status = value->getWord5(&word);
      put(&buffer, word);
      break;
    }
    case vm::kTypeInteger: {
      int16_t number = 0;
      status = value->getInteger(&number);
      put(&buffer, number);
      break;
    }
    case vm::kTypeUnsignedInteger: {
      uint16_t number = 0;
      status = value->getUnsignedInteger(&number);
      put(&buffer, number);
      break;
    }
    case vm::kTypeLong: {
      int32_t number = 0;
      status = value->getLong(&number);
      put(&buffer, number);
      break;
    }
    case vm::kTypeUnsignedLong: {
      uint32_t number = 0;
      status = value->getUnsignedLong(&number);
      put(&buffer, number);
      break;
    }
    case vm::kTypeDecimal: {
      vm::IVMDecimal* decimal = nullptr;
      status = value->getDecimal(&decimal);
      double number = 0.0;
      if (status >= 0 && converter().VMDecimalToDouble(&number, decimal) < 0) number = 0.0;
      put(&buffer, number);
      release(decimal);
      break;
    }
    case vm::kTypeReal: {
      float number = 0.0f;
      status = value->getReal(&number);
      put(&buffer, number);
      break;
    }
    case vm::kTypeDouble: {
      double number = 0.0;
      status = value->getDouble(&number);
      put(&buffer, number);
      break;
    }
    case vm::kTypeBoolean: {
      int32_t word = 0;
      status = value->getBoolean(&word);
      put(&buffer, (word & 0xFFFF) != 0 ? int32_t{-1} : word);
      break;
    }
    case vm::kTypeDate: {
      vm::IVMDate* date = nullptr;
      status = value->getDate(&date);
      DATE when = 0.0;
      if (status >= 0 && converter().VMDateToDate(&when, date) < 0) when = 0.0;
      put(&buffer, when);
      release(date);
      break;
    }
    case vm::kTypeTime: {
      vm::IVMTime* time = nullptr;
      status = value->getTime(&time);
      DATE when = 0.0;
      if (status >= 0 && converter().VMTimeToDate(&when, time) < 0) when = 0.0;
      put(&buffer, when);
      release(time);
      break;
    }
    case vm::kTypeDateTime: {
      vm::IVMDateTime* dateTime = nullptr;
      status = value->getDateTime(&dateTime);
      DATE when = 0.0;
      if (status >= 0 && converter().VMDateTimeToDate(&when, dateTime) < 0) when = 0.0;
      put(&buffer, when);
      release(dateTime);
      break;
    }
    case vm::kTypeString: {
      vm::IVMString* text = nullptr;
      status = value->getString(&text);
      BSTR bstr = nullptr;
      if (status >= 0) status = converter().VMStringToBstr(&bstr, text);
      put(&buffer, bstr);
      release(text);
      break;
    }
  }
  if (status < 0) {
    if (elementType_ == vm::kTypeString) SysFreeString(take<BSTR>(buffer));
    return status;
  }

  // SafeArrayPutElement stores a copy; a failure (an index outside an
  // existing array) just leaves the element out.
  if (holdsVariants(safeArray_)) {
    VARIANT element;
    std::memset(&element, 0, sizeof element);
    element.vt = VariantTypeOf(elementType_);
    std::memcpy(&element.llVal, &buffer, sizeof buffer);
    (void)SafeArrayPutElement(safeArray_, indices_.data(), &element);
    VariantClear(&element);
  } else if (elementType_ == vm::kTypeString) {
    BSTR bstr = take<BSTR>(buffer);
    (void)SafeArrayPutElement(safeArray_, indices_.data(), bstr);
    SysFreeString(bstr);
  } else {
    (void)SafeArrayPutElement(safeArray_, indices_.data(), &buffer);
  }
  return status;
}

}  // namespace mvcomm::arrays
