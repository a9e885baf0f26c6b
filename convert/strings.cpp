// File: convert/strings.cpp
//
// Text between UTF-16 (BSTRs, wide texts, VT_BSTR VARIANTs) and the VM's
// narrow strings, and the one-byte character type.
//
// Buffers come from CoTaskMemAlloc, so a test can fail their allocation.
#include <cstring>

#include "platform/ole/code_page.h"
#include "convert/internal/variant_rules.h"
#include "convert/pbcom_type_converter.h"
#include "vm/vm_api.h"

namespace mvcomm::convert {

namespace {

using internal::coerce;
using ole::maxNarrowBytesPerUnit;
using ole::narrowToWide;
using ole::wideToNarrow;
using internal::storeByRule;

// A VM string of the first `units` code units of text (cut at a zero unit).
// The narrow buffer holds the whole converted text and its terminator: a
// buffer of units + 1 bytes would cut any text with multi-byte characters.
int32_t makeVMString(vm::IVMString** dest, const char16_t* text, size_t units) {
  const size_t capacity = units * maxNarrowBytesPerUnit() + 1;
  auto* narrow = static_cast<char*>(CoTaskMemAlloc(capacity));
  if (narrow == nullptr) return E_FAIL;
  const size_t written = wideToNarrow(text, units, narrow, capacity - 1);
  narrow[written] = '\0';
  const int32_t status = vm::vmMakeString(narrow, dest);
  CoTaskMemFree(narrow);
  return status;
}

// The VM string's text, or null when it gives none.
const char* textOf(vm::IVMString* src) {
  const char* text = nullptr;
  if (src->text(&text) < 0) return nullptr;
  return text;
}

}  // namespace

int32_t PBCOMTypeConverter::BstrToVMString(vm::IVMString** dest, BSTR src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  if (src == nullptr) return kPbcomErrBadArgument;
  return makeVMString(dest, src, SysStringLen(src));
}

int32_t PBCOMTypeConverter::BstrRefToVMString(vm::IVMString** dest, const BSTR* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  static const char16_t kEmpty[1] = {0};
  if (*src == nullptr) return makeVMString(dest, kEmpty, 0);
  return makeVMString(dest, *src, SysStringLen(*src));
}

int32_t PBCOMTypeConverter::WideToVMString(vm::IVMString** dest, const OLECHAR* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  size_t units = 0;
  while (src[units] != 0) ++units;
  return makeVMString(dest, src, units);
}

int32_t PBCOMTypeConverter::VariantToVMString(vm::IVMString** dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = nullptr;
  VARIANT temp;
  const int32_t status = coerce(&temp, src, VT_BSTR);
  if (FAILED(status)) return status;
  const int32_t result = BstrToVMString(dest, temp.bstrVal);
  VariantClear(&temp);
  return result;
}

int32_t PBCOMTypeConverter::VMStringToBstr(BSTR* dest, vm::IVMString* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  const char* text = textOf(src);
  if (text == nullptr) return E_FAIL;
  const size_t bytes = std::strlen(text);
  auto* wide = static_cast<char16_t*>(CoTaskMemAlloc((bytes + 1) * sizeof(char16_t)));
  if (wide == nullptr) {
    *dest = nullptr;
    return kPbcomErrNoWideBuffer;
  }
  const size_t units = narrowToWide(text, bytes, wide);
  *dest = SysAllocStringLen(wide, static_cast<UINT>(units));
  CoTaskMemFree(wide);
  return *dest == nullptr ? kPbcomErrNoWideBuffer : kPbcomOk;
}

int32_t PBCOMTypeConverter::VMStringToVariant(VARIANT* dest, vm::IVMString* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  BSTR text = nullptr;
  const int32_t status = VMStringToBstr(&text, src);
  if (FAILED(status)) return status;
  const int32_t stored = storeByRule(dest, VT_BSTR, text);
  if (FAILED(stored)) SysFreeString(text);
  return stored;
}

int32_t PBCOMTypeConverter::VMStringToWideBuffer(OLECHAR* dest, vm::IVMString* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  const char* text = textOf(src);
  if (text == nullptr) return E_FAIL;
  narrowToWide(text, std::strlen(text), dest);
  return kPbcomOk;
}

int32_t PBCOMTypeConverter::VMStringToWide(OLECHAR** dest, vm::IVMString* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  const char* text = textOf(src);
  if (text == nullptr) return E_FAIL;
  const size_t bytes = std::strlen(text);
  if (*dest == nullptr) {
    *dest = static_cast<OLECHAR*>(CoTaskMemAlloc((bytes + 1) * sizeof(OLECHAR)));
    if (*dest == nullptr) return kPbcomErrNoWideBuffer;
  }
  narrowToWide(text, bytes, *dest);
  return kPbcomOk;
}

int32_t PBCOMTypeConverter::CharToChar(unsigned char* dest, unsigned char src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  *dest = src;
  return kPbcomOk;
}

int32_t PBCOMTypeConverter::CharToChar(char* dest, char src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  *dest = src;
  return kPbcomOk;
}

int32_t PBCOMTypeConverter::CharRefToChar(unsigned char* dest, const unsigned char* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  *dest = *src;
  return kPbcomOk;
}

int32_t PBCOMTypeConverter::VariantToChar(unsigned char* dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return kPbcomErrBadArgument;
  if (src->vt == VT_BSTR) {
    // Room for one whole character of any width, so a text that starts with
    // a multi-byte character gives its lead byte, not 0.
    char scratch[4] = {0, 0, 0, 0};
    if (src->bstrVal != nullptr) {
      wideToNarrow(src->bstrVal, SysStringLen(src->bstrVal), scratch, sizeof scratch);
    }
    *dest = static_cast<unsigned char>(scratch[0]);
    return kPbcomOk;
  }
  VARIANT temp;
  const int32_t status = coerce(&temp, src, VT_UI1);
  if (FAILED(status)) return status;
  *dest = temp.bVal;
  VariantClear(&temp);
  return status;
}

int32_t PBCOMTypeConverter::CharToVariant(VARIANT* dest, unsigned char src) {
  if (dest == nullptr) return kPbcomErrBadArgument;
  return storeByRule(dest, VT_UI1, src);
}

}  // namespace mvcomm::convert
