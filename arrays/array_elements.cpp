// File: arrays/array_elements.cpp
//
// One step of an array walk: the element at the current index, converted by
// its VM type code, from the SAFEARRAY into the VM array (PutVMElement) or
// back (PutSafeArrayElement). Both steps are driven by one table of element
// kinds, a row per type code: its automation type, the size of a plain
// element, and how an element goes into a VM value and comes back out.
//
// Elements travel through an 8-byte buffer in their automation form. A
// SAFEARRAY of VARIANTs is coerced element by element; any other SAFEARRAY
// must hold elements of the code's own size, with BSTRs exactly where the
// code is a string, or the walk ends with -8327: a wider element would
// overflow the buffer, and a number read as a BSTR (or the reverse) would be
// a wild pointer.
//
// A conversion that fails ends the walk with the converter's status, in both
// directions and for every kind: a VM decimal with no double, or a VM date,
// time or datetime with no DATE (-8407 and the like), stores nothing, as a
// single such value converted on its own leaves its VARIANT untouched. A
// stored 0.0 would be a wrong value (1899-12-30) that no caller could tell
// from a real one.
#include <cstdint>
#include <cstring>
#include <iterator>

#include "arrays/pbcom_array_marshaller.h"
#include "vm/vm_api.h"

namespace mvcomm::arrays {

namespace {

using convert::kPbcomErrElementRead;
using convert::kPbcomErrNoElementConversion;
using convert::kPbcomOk;
using Converter = convert::PBCOMTypeConverter;

bool holdsVariants(const SAFEARRAY* psa) { return (psa->fFeatures & FADF_VARIANT) != 0; }

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

// ---- element kinds ----------------------------------------------------------

// Buffer -> VM value, and VM value -> buffer. Each gives the status of the
// first step that failed (get, conversion or set), else the set's or get's.
using ToVM = int32_t (*)(Converter& converter, uint64_t buffer, vm::IVMValue* value);
using FromVM = int32_t (*)(Converter& converter, vm::IVMValue* value, uint64_t* buffer);

// A plain element: the buffer's `Stored`, widened as the set operation's
// parameter is (sign-extended for signed kinds).
template <typename Stored, auto Set>
int32_t setPlain(Converter&, uint64_t buffer, vm::IVMValue* value) {
  return (value->*Set)(take<Stored>(buffer));
}

template <typename Stored, auto Get>
int32_t getPlain(Converter&, vm::IVMValue* value, uint64_t* buffer) {
  Stored v{};
  const int32_t status = (value->*Get)(&v);
  put(buffer, v);
  return status;
}

// An element whose VM form is a VM object: the converter makes it from the
// buffer, the set takes it, and it is released here.
template <typename Stored, typename Product, int32_t (Converter::*Make)(Product**, Stored),
          int32_t (vm::IVMValue::*Set)(Product*)>
int32_t setMade(Converter& converter, uint64_t buffer, vm::IVMValue* value) {
  Product* product = nullptr;
  int32_t status = (converter.*Make)(&product, take<Stored>(buffer));
  if (status >= 0) status = (value->*Set)(product);
  release(product);
  return status;
}

template <typename Stored, typename Product, int32_t (vm::IVMValue::*Get)(Product**),
          int32_t (Converter::*Convert)(Stored*, Product*)>
int32_t getConverted(Converter& converter, vm::IVMValue* value, uint64_t* buffer) {
  Product* product = nullptr;
  int32_t status = (value->*Get)(&product);
  Stored converted{};
  if (status >= 0) status = (converter.*Convert)(&converted, product);
  put(buffer, converted);
  release(product);
  return status;
}

int32_t setBoolean(Converter& converter, uint64_t buffer, vm::IVMValue* value) {
  int32_t boolean = 0;
  int32_t status = converter.VariantBoolToBoolean(&boolean, take<VARIANT_BOOL>(buffer));
  if (status >= 0) status = value->setBoolean(boolean);
  return status;
}

// A nonzero low half is VARIANT_TRUE; the rest passes as the VM holds it.
int32_t getBoolean(Converter&, vm::IVMValue* value, uint64_t* buffer) {
  int32_t word = 0;
  const int32_t status = value->getBoolean(&word);
  put(buffer, (word & 0xFFFF) != 0 ? int32_t{-1} : word);
  return status;
}

struct ElementKind {
  VARTYPE vt;      // the automation form: VARIANT tag and plain SAFEARRAY element type
  ULONG size;      // bytes of one plain SAFEARRAY element of vt
  ToVM toVM;       // null: the code has no element conversion (-8326)
  FromVM fromVM;   // null likewise
};

using V = vm::IVMValue;
constexpr ULONG kPointer = sizeof(void*);

// Indexed by type code - kTypeCharacter, codes 3 to 20.
constexpr ElementKind kKinds[] = {
    {VT_UI1, 1, setPlain<int8_t, &V::setCharacter>, getPlain<uint8_t, &V::getCharacter>},
    {VT_I2, 2, setPlain<int32_t, &V::setWord4>, getPlain<int32_t, &V::getWord4>},
    {VT_UI2, 2, setPlain<uint32_t, &V::setWord5>, getPlain<uint32_t, &V::getWord5>},
    {VT_I2, 2, setPlain<int16_t, &V::setInteger>, getPlain<int16_t, &V::getInteger>},
    {VT_UI2, 2, setPlain<uint16_t, &V::setUnsignedInteger>,
     getPlain<uint16_t, &V::getUnsignedInteger>},
    {VT_I4, 4, setPlain<int32_t, &V::setLong>, getPlain<int32_t, &V::getLong>},
    {VT_UI4, 4, setPlain<uint32_t, &V::setUnsignedLong>, getPlain<uint32_t, &V::getUnsignedLong>},
    {VT_R8, 8, setMade<double, vm::IVMDecimal, &Converter::DoubleToVMDecimal, &V::setDecimal>,
     getConverted<double, vm::IVMDecimal, &V::getDecimal, &Converter::VMDecimalToDouble>},
    {VT_R4, 4, setPlain<float, &V::setReal>, getPlain<float, &V::getReal>},
    {VT_R8, 8, setPlain<double, &V::setDouble>, getPlain<double, &V::getDouble>},
    {VT_BOOL, 2, setBoolean, getBoolean},
    {VT_DATE, 8, setMade<DATE, vm::IVMDate, &Converter::DateToVMDate, &V::setDate>,
     getConverted<DATE, vm::IVMDate, &V::getDate, &Converter::VMDateToDate>},
    {VT_DATE, 8, setMade<DATE, vm::IVMTime, &Converter::DateToVMTime, &V::setTime>,
     getConverted<DATE, vm::IVMTime, &V::getTime, &Converter::VMTimeToDate>},
    {VT_DATE, 8, setMade<DATE, vm::IVMDateTime, &Converter::DateToVMDateTime, &V::setDateTime>,
     getConverted<DATE, vm::IVMDateTime, &V::getDateTime, &Converter::VMDateTimeToDate>},
    {VT_BSTR, kPointer, setMade<BSTR, vm::IVMString, &Converter::BstrToVMString, &V::setString>,
     getConverted<BSTR, vm::IVMString, &V::getString, &Converter::VMStringToBstr>},
    {VT_SAFEARRAY, kPointer, nullptr, nullptr},  // 18: array
    {VT_DISPATCH, kPointer, nullptr, nullptr},   // 19: object
    {VT_SAFEARRAY, kPointer, nullptr, nullptr},  // 20: growing array
};
static_assert(std::size(kKinds) == vm::kTypeDynamicArray - vm::kTypeCharacter + 1);

// Any other code: paired with VT_UI4, and no conversion.
constexpr ElementKind kUnknownKind = {VT_UI4, 4, nullptr, nullptr};

const ElementKind& kindOf(int32_t code) {
  if (code < vm::kTypeCharacter || code > vm::kTypeDynamicArray) return kUnknownKind;
  return kKinds[code - vm::kTypeCharacter];
}

}  // namespace

VARTYPE PBCOMArrayMarshaller::VariantTypeOf(int32_t elementType) { return kindOf(elementType).vt; }

bool PBCOMArrayMarshaller::elementsFit() const {
  const SAFEARRAY* psa = safeArray_;
  if (psa->cDims != dimensions_) return false;
  if (holdsVariants(psa)) return psa->cbElements == sizeof(VARIANT);
  if ((psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH | FADF_RECORD)) != 0) return false;
  const bool strings = (psa->fFeatures & FADF_BSTR) != 0;
  if (strings != (elementType_ == vm::kTypeString)) return false;
  return psa->cbElements <= sizeof(uint64_t) && psa->cbElements == kindOf(elementType_).size;
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
  const ElementKind& kind = kindOf(elementType_);
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
           SUCCEEDED(VariantChangeType(&coerced, &element, 0, kind.vt));
    if (read) std::memcpy(&buffer, &coerced.llVal, sizeof buffer);
    status = read ? kPbcomOk : kPbcomErrElementRead;
  } else {
    read = SUCCEEDED(SafeArrayGetElement(safeArray_, indices_.data(), &buffer));
    status = read ? kPbcomOk : kPbcomErrElementRead;
  }
  if (status >= 0) {
    status = kind.toVM == nullptr ? kPbcomErrNoElementConversion
                                  : kind.toVM(converter(), buffer, value);
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
  } else if (read && kind.vt == VT_BSTR) {
    SysFreeString(take<BSTR>(buffer));
  }
  return status;
}

int32_t PBCOMArrayMarshaller::PutSafeArrayElement() {
  if (!walking() || safeArray_ == nullptr) return kPbcomOk;
  const ElementKind& kind = kindOf(elementType_);
  // The array lends its element: it is not released here.
  vm::IVMValue* value = nullptr;
  const int32_t* index = vmIndex(false);
  if (index == nullptr || vmArray_->elementAt(index, static_cast<int32_t>(dimensions_), &value) < 0 ||
      value == nullptr) {
    return kPbcomErrElementRead;
  }
  if (kind.fromVM == nullptr) return kPbcomErrNoElementConversion;
  if (!elementsFit()) return kPbcomErrElementRead;

  uint64_t buffer = 0;
  const int32_t status = kind.fromVM(converter(), value, &buffer);
  if (status < 0) {
    if (kind.vt == VT_BSTR) SysFreeString(take<BSTR>(buffer));
    return status;
  }

  // SafeArrayPutElement stores a copy; a failure (an index outside an
  // existing array) just leaves the element out.
  if (holdsVariants(safeArray_)) {
    VARIANT element;
    std::memset(&element, 0, sizeof element);
    element.vt = kind.vt;
    std::memcpy(&element.llVal, &buffer, sizeof buffer);
    (void)SafeArrayPutElement(safeArray_, indices_.data(), &element);
    VariantClear(&element);
  } else if (kind.vt == VT_BSTR) {
    BSTR bstr = take<BSTR>(buffer);
    (void)SafeArrayPutElement(safeArray_, indices_.data(), bstr);
    SysFreeString(bstr);
  } else {
    (void)SafeArrayPutElement(safeArray_, indices_.data(), &buffer);
  }
  return status;
}

}  // namespace mvcomm::arrays
