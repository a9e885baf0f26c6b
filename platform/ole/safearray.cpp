// File: platform/ole/safearray.cpp
//
// SAFEARRAY: descriptors, data, locks, element access, Redim and copies.
//
// Memory: each descriptor is allocated with a 16-byte prefix, which holds the
// IID (FADF_HAVEIID) or, in its last 4 bytes, the VARTYPE (FADF_HAVEVARTYPE),
// where callers look for them. The descriptor stores its bounds reversed:
// rgsabound[cDims-k] is dimension k, and rgIndices[0] varies fastest.
//
// Sections: element types; descriptor and data; bounds and locks; element
// access; Redim; copies.
#include <cstdlib>
#include <cstring>

#include "platform/ole/internal/accounting.h"
#include "platform/ole/internal/bstr_util.h"
#include "platform/ole/internal/variant_util.h"
#include "platform/ole/oleauto.h"

using mvcomm::ole::AllocKind;
namespace acc = mvcomm::ole::internal;

namespace {

constexpr std::size_t kPrefix = 16;
constexpr ULONG kMaxLocks = 65535;
// Largest data block we allocate; keeps element arithmetic in range and
// turns absurd requests into a clean failure instead of an abort.
constexpr std::size_t kMaxDataBytes = 0x7FFFFFFFu;
constexpr USHORT kNoFreeData = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;

// ---- element types ----------------------------------------------------------

USHORT featuresFor(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR: return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_VARIANT: return FADF_HAVEVARTYPE | FADF_VARIANT;
    case VT_UNKNOWN: return FADF_HAVEIID | FADF_UNKNOWN;
    case VT_DISPATCH: return FADF_HAVEIID | FADF_DISPATCH;
    default: return FADF_HAVEVARTYPE;
  }
}

char* prefixOf(SAFEARRAY* psa) { return reinterpret_cast<char*>(psa) - kPrefix; }

void setVartype(SAFEARRAY* psa, VARTYPE vt) {
  DWORD stored = vt;
  std::memcpy(prefixOf(psa) + 12, &stored, 4);
}

// ---- descriptor and data -------------------------------------------------------

SAFEARRAY* allocDescriptor(UINT cDims) {
  if (!acc::admitAllocation(AllocKind::SafeArray)) return nullptr;
  std::size_t bytes = kPrefix + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
  char* block = static_cast<char*>(std::calloc(1, bytes));
  if (block == nullptr) return nullptr;
  acc::noteAllocated(AllocKind::SafeArray);
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
  psa->cDims = static_cast<USHORT>(cDims);
  return psa;
}

void freeDescriptor(SAFEARRAY* psa) {
  acc::noteFreed(AllocKind::SafeArray);
  std::free(prefixOf(psa));
}

// Total element count, or false when it (times the element size) is too large.
bool elementCount(const SAFEARRAY* psa, std::size_t* count) {
  std::size_t n = 1;
  for (USHORT i = 0; i < psa->cDims; ++i) {
    std::size_t c = psa->rgsabound[i].cElements;
    if (c != 0 && n > kMaxDataBytes / c) return false;
    n *= c;
  }
  if (psa->cbElements != 0 && n > kMaxDataBytes / psa->cbElements) return false;
  *count = n;
  return true;
}

// Releases what the elements own (BSTRs, VARIANT contents, references) and zeroes them.
void clearElements(SAFEARRAY* psa, std::size_t first, std::size_t count) {
  if (psa->pvData == nullptr) return;
  char* base = static_cast<char*>(psa->pvData) + first * psa->cbElements;
  if (psa->fFeatures & FADF_BSTR) {
    auto* items = reinterpret_cast<BSTR*>(base);
    for (std::size_t i = 0; i < count; ++i) SysFreeString(items[i]);
  } else if (psa->fFeatures & FADF_VARIANT) {
    auto* items = reinterpret_cast<VARIANT*>(base);
    for (std::size_t i = 0; i < count; ++i) VariantClear(&items[i]);
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* items = reinterpret_cast<IUnknown**>(base);
    for (std::size_t i = 0; i < count; ++i) {
      if (items[i] != nullptr) items[i]->Release();
    }
  }
  std::memset(base, 0, count * psa->cbElements);
}

// Deep-copies one element of psa's kind from src to the zeroed dst.
HRESULT copyElement(const SAFEARRAY* psa, const void* src, void* dst) {
  if (psa->fFeatures & FADF_BSTR) {
    BSTR from = *static_cast<const BSTR*>(src);
    BSTR copy = acc::bstrCopy(from);
    if (copy == nullptr && from != nullptr) return E_OUTOFMEMORY;
    *static_cast<BSTR*>(dst) = copy;
  } else if (psa->fFeatures & FADF_VARIANT) {
    auto* to = static_cast<VARIANT*>(dst);
    VariantInit(to);
    return VariantCopy(to, static_cast<const VARIANT*>(src));
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    IUnknown* from = *static_cast<IUnknown* const*>(src);
    if (from != nullptr) from->AddRef();
    *static_cast<IUnknown**>(dst) = from;
  } else {
    std::memcpy(dst, src, psa->cbElements);
  }
  return S_OK;
}

// Offset in elements of rgIndices; false when an index is out of its bounds.
bool elementOffset(const SAFEARRAY* psa, const LONG* rgIndices, std::size_t* offset) {
  std::size_t off = 0;
  std::size_t stride = 1;
  for (USHORT k = 1; k <= psa->cDims; ++k) {
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - k];
    long long rel = static_cast<long long>(rgIndices[k - 1]) - b.lLbound;
    if (rel < 0 || rel >= static_cast<long long>(b.cElements)) return false;
    off += static_cast<std::size_t>(rel) * stride;
    stride *= b.cElements;
  }
  *offset = off;
  return true;
}

}  // namespace

namespace mvcomm::ole::internal {

ULONG safeArrayElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: case VT_INT: case VT_UINT: case VT_ERROR: return 4;
    case VT_R8: case VT_DATE: case VT_CY: case VT_I8: case VT_UI8: return 8;
    case VT_DECIMAL: return sizeof(DECIMAL);
    case VT_VARIANT: return sizeof(VARIANT);
    case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH: return sizeof(void*);
    default: return 0;
  }
}

}  // namespace mvcomm::ole::internal

WINOLEAUTAPI SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut) {
  if (ppsaOut == nullptr || cDims == 0 || cDims > 65535) return E_INVALIDARG;
  *ppsaOut = allocDescriptor(cDims);
  return *ppsaOut == nullptr ? E_OUTOFMEMORY : S_OK;
}

WINOLEAUTAPI SafeArrayAllocDescriptorEx(VARTYPE vt, UINT cDims, SAFEARRAY** ppsaOut) {
  ULONG size = acc::safeArrayElementSize(vt);
  if (size == 0) return E_INVALIDARG;
  HRESULT hr = SafeArrayAllocDescriptor(cDims, ppsaOut);
  if (FAILED(hr)) return hr;
  SAFEARRAY* psa = *ppsaOut;
  psa->fFeatures = featuresFor(vt);
  psa->cbElements = size;
  if (psa->fFeatures & FADF_HAVEVARTYPE) setVartype(psa, vt);
  if (vt == VT_UNKNOWN) SafeArraySetIID(psa, IID_IUnknown);
  if (vt == VT_DISPATCH) SafeArraySetIID(psa, IID_IDispatch);
  return S_OK;
}

WINOLEAUTAPI SafeArrayAllocData(SAFEARRAY* psa) {
  if (psa == nullptr || psa->cbElements == 0) return E_INVALIDARG;
  std::size_t count;
  if (!elementCount(psa, &count)) return E_OUTOFMEMORY;
  // calloc(0) may give null; ask for one byte so pvData is always a block.
  void* data = std::calloc(count == 0 ? 1 : count, count == 0 ? 1 : psa->cbElements);
  if (data == nullptr) return E_OUTOFMEMORY;
  psa->pvData = data;
  return S_OK;
}

WINOLEAUTAPI_(SAFEARRAY*) SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  if (rgsabound == nullptr || cDims == 0) return nullptr;
  SAFEARRAY* psa = nullptr;
  if (FAILED(SafeArrayAllocDescriptorEx(vt, cDims, &psa))) return nullptr;
  for (UINT k = 1; k <= cDims; ++k) psa->rgsabound[cDims - k] = rgsabound[k - 1];
  if (FAILED(SafeArrayAllocData(psa))) {
    freeDescriptor(psa);
    return nullptr;
  }
  return psa;
}

WINOLEAUTAPI_(SAFEARRAY*) SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound = {cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

WINOLEAUTAPI SafeArrayDestroyData(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  std::size_t count = 0;
  if (psa->pvData != nullptr && elementCount(psa, &count)) clearElements(psa, 0, count);
  if (!(psa->fFeatures & kNoFreeData)) {
    std::free(psa->pvData);
    psa->pvData = nullptr;
  }
  return S_OK;
}

WINOLEAUTAPI SafeArrayDestroyDescriptor(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  freeDescriptor(psa);
  return S_OK;
}

WINOLEAUTAPI SafeArrayDestroy(SAFEARRAY* psa) {
  if (psa == nullptr) return S_OK;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  HRESULT hr = SafeArrayDestroyData(psa);
  if (FAILED(hr)) return hr;
  return SafeArrayDestroyDescriptor(psa);
}

// ---- bounds and locks -----------------------------------------------------------

WINOLEAUTAPI_(UINT) SafeArrayGetDim(SAFEARRAY* psa) { return psa == nullptr ? 0 : psa->cDims; }

WINOLEAUTAPI_(UINT) SafeArrayGetElemsize(SAFEARRAY* psa) {
  return psa == nullptr ? 0 : psa->cbElements;
}

WINOLEAUTAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (psa == nullptr || plLbound == nullptr) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

WINOLEAUTAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (psa == nullptr || plUbound == nullptr) return E_INVALIDARG;
  if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
  *plUbound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

WINOLEAUTAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
  if (psa->fFeatures & FADF_HAVEVARTYPE) {
    DWORD stored;
    std::memcpy(&stored, prefixOf(psa) + 12, 4);
    *pvt = static_cast<VARTYPE>(stored);
  } else if (psa->fFeatures & FADF_BSTR) {
    *pvt = VT_BSTR;
  } else if (psa->fFeatures & FADF_VARIANT) {
    *pvt = VT_VARIANT;
  } else if (psa->fFeatures & FADF_DISPATCH) {
    *pvt = VT_DISPATCH;
  } else if (psa->fFeatures & FADF_UNKNOWN) {
    *pvt = VT_UNKNOWN;
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

WINOLEAUTAPI SafeArrayGetIID(SAFEARRAY* psa, GUID* pguid) {
  if (psa == nullptr || pguid == nullptr || !(psa->fFeatures & FADF_HAVEIID)) {
    return E_INVALIDARG;
  }
  std::memcpy(pguid, prefixOf(psa), sizeof(GUID));
  return S_OK;
}

WINOLEAUTAPI SafeArraySetIID(SAFEARRAY* psa, REFGUID guid) {
  if (psa == nullptr || !(psa->fFeatures & FADF_HAVEIID)) return E_INVALIDARG;
  std::memcpy(prefixOf(psa), &guid, sizeof(GUID));
  return S_OK;
}

WINOLEAUTAPI SafeArrayLock(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks >= kMaxLocks) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

WINOLEAUTAPI SafeArrayUnlock(SAFEARRAY* psa) {
  if (psa == nullptr) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

WINOLEAUTAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  *ppvData = psa->pvData;
  return S_OK;
}

WINOLEAUTAPI SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

// ---- element access -------------------------------------------------------------

WINOLEAUTAPI SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
  if (psa == nullptr || rgIndices == nullptr || ppvData == nullptr) return E_INVALIDARG;
  std::size_t off;
  if (!elementOffset(psa, rgIndices, &off)) return DISP_E_BADINDEX;
  if (psa->pvData == nullptr) return E_UNEXPECTED;
  *ppvData = static_cast<char*>(psa->pvData) + off * psa->cbElements;
  return S_OK;
}

WINOLEAUTAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (pv == nullptr) return E_INVALIDARG;
  void* cell = nullptr;
  HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &cell);
  if (FAILED(hr)) return hr;
  // The caller's pv is overwritten, never cleared: it holds nothing of ours.
  if (psa->fFeatures & FADF_VARIANT) static_cast<VARIANT*>(pv)->vt = VT_EMPTY;
  hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  hr = copyElement(psa, cell, pv);
  SafeArrayUnlock(psa);
  return hr;
}

WINOLEAUTAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  void* cell = nullptr;
  HRESULT hr = SafeArrayPtrOfIndex(psa, rgIndices, &cell);
  if (FAILED(hr)) return hr;
  const bool pointerArg = (psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)) != 0;
  // For BSTR and interface arrays pv is the value itself (null allowed).
  if (!pointerArg && pv == nullptr) return E_INVALIDARG;
  hr = SafeArrayLock(psa);
  if (FAILED(hr)) return hr;
  if (psa->fFeatures & FADF_BSTR) {
    BSTR from = static_cast<BSTR>(pv);
    BSTR copy = acc::bstrCopy(from);
    if (copy == nullptr && from != nullptr) {
      hr = E_OUTOFMEMORY;
    } else {
      SysFreeString(*static_cast<BSTR*>(cell));
      *static_cast<BSTR*>(cell) = copy;
    }
  } else if (psa->fFeatures & FADF_VARIANT) {
    hr = VariantCopy(static_cast<VARIANT*>(cell), static_cast<const VARIANT*>(pv));
  } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
    auto* from = static_cast<IUnknown*>(pv);
    if (from != nullptr) from->AddRef();
    IUnknown* old = *static_cast<IUnknown**>(cell);
    *static_cast<IUnknown**>(cell) = from;
    if (old != nullptr) old->Release();
  } else {
    std::memcpy(cell, pv, psa->cbElements);
  }
  SafeArrayUnlock(psa);
  return hr;
}

// ---- Redim ----------------------------------------------------------------------

WINOLEAUTAPI SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
  if (psa == nullptr || psaboundNew == nullptr || psa->cbElements == 0) return E_INVALIDARG;
  if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  if (psa->fFeatures & FADF_FIXEDSIZE) return E_INVALIDARG;

  // The last dimension varies slowest, so a change of its bound adds or
  // removes whole blocks at the end of the data and the rest stays in place.
  std::size_t oldCount;
  if (!elementCount(psa, &oldCount)) return E_INVALIDARG;
  SAFEARRAYBOUND saved = psa->rgsabound[0];
  psa->rgsabound[0].cElements = psaboundNew->cElements;
  std::size_t newCount = 0;
  bool ok = elementCount(psa, &newCount);
  psa->rgsabound[0] = saved;
  if (!ok) return E_OUTOFMEMORY;

  if (newCount < oldCount) clearElements(psa, newCount, oldCount - newCount);
  if (newCount != oldCount) {
    if (psa->fFeatures & kNoFreeData) return E_INVALIDARG;
    std::size_t bytes = (newCount == 0 ? 1 : newCount) * psa->cbElements;
    void* data = std::realloc(psa->pvData, bytes);
    if (data == nullptr) return E_OUTOFMEMORY;  // shrinking cleared only what is gone anyway
    if (newCount > oldCount) {
      std::memset(static_cast<char*>(data) + oldCount * psa->cbElements, 0,
                  (newCount - oldCount) * psa->cbElements);
    }
    psa->pvData = data;
  }
  psa->rgsabound[0] = *psaboundNew;
  return S_OK;
}

// ---- copies -----------------------------------------------------------------------

WINOLEAUTAPI SafeArrayCopyData(SAFEARRAY* psaSource, SAFEARRAY* psaTarget) {
  if (psaSource == nullptr || psaTarget == nullptr) return E_INVALIDARG;
  if (psaSource->cDims != psaTarget->cDims || psaSource->cbElements != psaTarget->cbElements) {
    return E_INVALIDARG;
  }
  for (USHORT i = 0; i < psaSource->cDims; ++i) {
    if (psaSource->rgsabound[i].cElements != psaTarget->rgsabound[i].cElements ||
        psaSource->rgsabound[i].lLbound != psaTarget->rgsabound[i].lLbound) {
      return E_INVALIDARG;
    }
  }
  std::size_t count;
  if (!elementCount(psaSource, &count)) return E_INVALIDARG;
  if (count != 0 && (psaSource->pvData == nullptr || psaTarget->pvData == nullptr)) {
    return E_INVALIDARG;
  }
  clearElements(psaTarget, 0, count);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t off = i * psaSource->cbElements;
    HRESULT hr = copyElement(psaSource, static_cast<char*>(psaSource->pvData) + off,
                             static_cast<char*>(psaTarget->pvData) + off);
    if (FAILED(hr)) {
      clearElements(psaTarget, 0, i);
      return hr;
    }
  }
  return S_OK;
}

WINOLEAUTAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (ppsaOut == nullptr) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (psa == nullptr) return S_OK;
  if (psa->cbElements == 0) return E_INVALIDARG;
  SAFEARRAY* copy = allocDescriptor(psa->cDims);
  if (copy == nullptr) return E_OUTOFMEMORY;
  std::memcpy(prefixOf(copy), prefixOf(psa), kPrefix);
  // The copy owns its data, wherever the original's lives.
  copy->fFeatures = psa->fFeatures & ~kNoFreeData;
  copy->cbElements = psa->cbElements;
  std::memcpy(copy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
  HRESULT hr = SafeArrayAllocData(copy);
  if (SUCCEEDED(hr)) hr = SafeArrayCopyData(psa, copy);
  if (FAILED(hr)) {
    SafeArrayDestroy(copy);
    return hr;
  }
  *ppsaOut = copy;
  return S_OK;
}
