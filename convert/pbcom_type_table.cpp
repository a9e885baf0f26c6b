// File: convert/pbcom_type_table.cpp
//
// The type-table lookups of PBCOMTypeConverter.
#include "convert/pbcom_type_table.h"

#include "convert/pbcom_type_converter.h"

namespace mvcomm::convert {

namespace {

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Row of the first entry whose column equals name, or nullptr.
template <typename Column>
const PBCOMTypeEntry* findRow(const char* name, Column column) {
  for (const PBCOMTypeEntry& row : PBCOMTypeTable) {
    if (typeNameEquals(name, column(row))) return &row;
  }
  return nullptr;
}

}  // namespace

bool typeNameEquals(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (foldAscii(*a) != foldAscii(*b)) return false;
    if (*a == '\0') return true;
  }
}

int32_t PBCOMTypeConverter::FindNativeType(const char* pbType, const char** nativeType) {
  if (pbType == nullptr || nativeType == nullptr) return E_INVALIDARG;
  const PBCOMTypeEntry* row = findRow(pbType, [](const PBCOMTypeEntry& r) { return r.pbType; });
  if (row == nullptr) return E_FAIL;
  *nativeType = row->nativeType;
  return S_OK;
}

int32_t PBCOMTypeConverter::FindAutomationType(const char* pbType, const char** automationType,
                                               VARTYPE* variantType) {
  if (pbType == nullptr || (automationType == nullptr && variantType == nullptr)) {
    return E_INVALIDARG;
  }
  const PBCOMTypeEntry* row = findRow(pbType, [](const PBCOMTypeEntry& r) { return r.pbType; });
  if (row == nullptr) return E_FAIL;
  if (automationType != nullptr) *automationType = row->automationType;
  if (variantType != nullptr) *variantType = row->variantType;
  return S_OK;
}

int32_t PBCOMTypeConverter::FindPBTypeByNativeType(const char* nativeType, const char** pbType) {
  if (nativeType == nullptr || pbType == nullptr) return E_INVALIDARG;
  const PBCOMTypeEntry* row =
      findRow(nativeType, [](const PBCOMTypeEntry& r) { return r.nativeType; });
  if (row == nullptr) return E_FAIL;
  *pbType = row->pbType;
  return S_OK;
}

int32_t PBCOMTypeConverter::FindPBTypeByAutomationType(const char* automationType,
                                                       VARTYPE variantType, const char** pbType) {
  if (pbType == nullptr) return E_INVALIDARG;
  const PBCOMTypeEntry* row = nullptr;
  if (automationType != nullptr) {
    row = findRow(automationType, [](const PBCOMTypeEntry& r) { return r.automationType; });
  } else {
    for (const PBCOMTypeEntry& r : PBCOMTypeTable) {
      if (r.variantType == variantType) {
        row = &r;
        break;
      }
    }
  }
  if (row == nullptr) return E_FAIL;
  *pbType = row->pbType;
  return S_OK;
}

int32_t PBCOMTypeConverter::NeedsConversion(const char* pbType, int32_t automationFlavour,
                                            int32_t* needsConversion) {
  if (pbType == nullptr || needsConversion == nullptr) return E_INVALIDARG;
  const PBCOMTypeEntry* row = findRow(pbType, [](const PBCOMTypeEntry& r) { return r.pbType; });
  if (row == nullptr) return E_FAIL;
  *needsConversion =
      automationFlavour != 0 ? row->automationNeedsConversion : row->nativeNeedsConversion;
  return S_OK;
}

}  // namespace mvcomm::convert
