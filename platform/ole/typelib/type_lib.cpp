// File: platform/ole/typelib/type_lib.cpp
//
// ITypeLib and the descriptive half of ITypeInfo (attributes, function
// descriptions, names, documentation, references). Invoke lives in invoke.cpp.
//
// Sections: helpers; TypeLib; TypeInfo; the built-in standard library.
#include "platform/ole/typelib/type_lib.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/no_throw.h"
#include "platform/ole/oleauto.h"
#include "platform/ole/typelib/text16.h"

namespace mvcomm::typelib {

// ---- helpers -------------------------------------------------------------

HRESULT MakeBstr(const std::string& s, BSTR* out) {
  if (!out) return S_OK;
  std::u16string w = Utf8ToUtf16(s);
  *out = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

namespace {

GUID toGuid(const Guid& g) {
  GUID out;
  static_assert(sizeof out == 16);
  std::memcpy(&out, g.data(), 16);
  return out;
}

bool sameGuid(REFGUID a, const Guid& b) { return std::memcmp(&a, b.data(), 16) == 0; }

// Fills the documentation outputs, freeing what was made if a later one fails.
HRESULT fillDocumentation(const std::string& name, const std::string& doc, uint32_t context,
                          const std::string& helpFile, BSTR* pName, BSTR* pDoc, DWORD* pContext,
                          BSTR* pHelpFile) {
  BSTR n = nullptr, d = nullptr, h = nullptr;
  HRESULT hr = S_OK;
  if (pName) hr = MakeBstr(name, &n);
  if (SUCCEEDED(hr) && pDoc) hr = doc.empty() ? S_OK : MakeBstr(doc, &d);
  if (SUCCEEDED(hr) && pHelpFile) hr = helpFile.empty() ? S_OK : MakeBstr(helpFile, &h);
  if (FAILED(hr)) {
    SysFreeString(n);
    SysFreeString(d);
    SysFreeString(h);
    return hr;
  }
  if (pName) *pName = n;
  if (pDoc) *pDoc = d;
  if (pHelpFile) *pHelpFile = h;
  if (pContext) *pContext = context;
  return S_OK;
}

}  // namespace

// ---- TypeLib -------------------------------------------------------------

TypeLib::TypeLib(Library model) : model_(std::move(model)) {
  infos_.reserve(model_.types.size());
  for (size_t i = 0; i < model_.types.size(); ++i)
    infos_.push_back(std::make_unique<TypeInfo>(this, static_cast<uint32_t>(i)));
  for (auto& info : infos_) info->preparePlans();
  for (auto& info : infos_) info->buildMembers();
}

TypeLib::~TypeLib() = default;

TypeLib* TypeLib::Create(Library model) {
  try {
    return new TypeLib(std::move(model));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HRESULT TypeLib::QueryInterface(REFIID riid, void** ppv) try {
  if (!ppv) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITypeLib)) {
    *ppv = static_cast<ITypeLib*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

ULONG TypeLib::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG TypeLib::Release() {
  ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

UINT TypeLib::GetTypeInfoCount() { return static_cast<UINT>(infos_.size()); }

HRESULT TypeLib::GetTypeInfo(UINT index, ITypeInfo** ppTInfo) try {
  if (!ppTInfo) return E_INVALIDARG;
  *ppTInfo = nullptr;
  if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
  *ppTInfo = infos_[index].get();
  AddRef();
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeLib::GetTypeInfoType(UINT index, TYPEKIND* pTKind) try {
  if (!pTKind) return E_INVALIDARG;
  if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
  *pTKind = static_cast<TYPEKIND>(model_.types[index].kind);
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeLib::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) try {
  if (!ppTinfo) return E_INVALIDARG;
  *ppTinfo = nullptr;
  for (size_t i = 0; i < model_.types.size(); ++i)
    if (sameGuid(guid, model_.types[i].guid)) {
      *ppTinfo = infos_[i].get();
      AddRef();
      return S_OK;
    }
  return TYPE_E_ELEMENTNOTFOUND;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeLib::GetLibAttr(TLIBATTR** ppTLibAttr) try {
  if (!ppTLibAttr) return E_INVALIDARG;
  auto* a = new (std::nothrow) TLIBATTR{};
  if (!a) return E_OUTOFMEMORY;
  a->guid = toGuid(model_.guid);
  a->lcid = model_.lcid;
  a->syskind = static_cast<SYSKIND>(model_.syskind);
  a->wMajorVerNum = model_.verMajor;
  a->wMinorVerNum = model_.verMinor;
  a->wLibFlags = model_.flags;
  *ppTLibAttr = a;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

void TypeLib::ReleaseTLibAttr(TLIBATTR* pTLibAttr) { delete pTLibAttr; }

HRESULT TypeLib::GetTypeComp(ITypeComp** ppTComp) try {
  if (ppTComp) *ppTComp = nullptr;
  return E_NOTIMPL;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeLib::GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                  DWORD* pdwHelpContext, BSTR* pBstrHelpFile) try {
  if (index == -1)
    return fillDocumentation(model_.name, model_.help, model_.helpContext, model_.helpFile,
                             pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
  if (index < 0 || static_cast<size_t>(index) >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
  const TypeEntry& t = model_.types[index];
  return fillDocumentation(t.name, t.help, t.helpContext, model_.helpFile, pBstrName,
                           pBstrDocString, pdwHelpContext, pBstrHelpFile);
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

namespace {

// Copies the stored spelling of `name` over the caller's buffer, as IsName does.
void copySpelling(LPOLESTR buf, const std::string& name) {
  std::u16string w = Utf8ToUtf16(name);
  std::memcpy(buf, w.data(), w.size() * sizeof(char16_t));
}

}  // namespace

HRESULT TypeLib::IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName) try {
  if (!szNameBuf || !pfName) return E_INVALIDARG;
  std::u16string want = Fold(szNameBuf);
  *pfName = FALSE;
  auto match = [&](const std::string& n) {
    std::u16string w = Utf8ToUtf16(n);
    if (Fold(w) != want) return false;
    copySpelling(szNameBuf, n);
    *pfName = TRUE;
    return true;
  };
  for (const TypeEntry& t : model_.types) {
    if (match(t.name)) return S_OK;
    for (const Func& f : t.funcs) {
      if (match(f.name)) return S_OK;
      for (const Param& p : f.params)
        if (!p.name.empty() && match(p.name)) return S_OK;
    }
  }
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeLib::FindName(LPOLESTR szNameBuf, ULONG, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                          USHORT* pcFound) try {
  if (!szNameBuf || !ppTInfo || !rgMemId || !pcFound) return E_INVALIDARG;
  std::u16string want = Fold(szNameBuf);
  USHORT found = 0;
  for (size_t i = 0; i < model_.types.size() && found < *pcFound; ++i) {
    const TypeEntry& t = model_.types[i];
    MEMBERID id = MEMBERID_NIL;
    bool hit = Fold(Utf8ToUtf16(t.name)) == want;
    for (const Func& f : t.funcs)
      if (!hit && Fold(Utf8ToUtf16(f.name)) == want) {
        hit = true;
        id = f.memid;
      }
    if (!hit) continue;
    ppTInfo[found] = infos_[i].get();
    AddRef();
    rgMemId[found] = id;
    ++found;
  }
  *pcFound = found;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

// ---- TypeInfo --------------------------------------------------------------

TypeInfo::TypeInfo(TypeLib* lib, uint32_t index) : lib_(lib), index_(index) {}

const TypeEntry& TypeInfo::entry() const { return lib_->model().types[index_]; }

HRESULT TypeInfo::QueryInterface(REFIID riid, void** ppv) try {
  if (!ppv) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITypeInfo)) {
    *ppv = static_cast<ITypeInfo*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

ULONG TypeInfo::AddRef() { return lib_->AddRef(); }
ULONG TypeInfo::Release() { return lib_->Release(); }

HRESULT TypeInfo::GetTypeAttr(TYPEATTR** ppTypeAttr) try {
  if (!ppTypeAttr) return E_INVALIDARG;
  const TypeEntry& t = entry();
  auto* a = new (std::nothrow) TYPEATTR{};
  if (!a) return E_OUTOFMEMORY;
  a->guid = toGuid(t.guid);
  a->lcid = lib_->model().lcid;
  a->memidConstructor = MEMBERID_NIL;
  a->memidDestructor = MEMBERID_NIL;
  a->cbSizeInstance = sizeof(void*);
  a->typekind = static_cast<TYPEKIND>(t.kind);
  a->cFuncs = static_cast<WORD>(t.funcs.size());
  a->cImplTypes = static_cast<WORD>(t.impls.size());
  a->cbSizeVft = static_cast<WORD>(t.kind == kTkindCoclass ? 0 : t.vtableSlots * sizeof(void*));
  a->cbAlignment = alignof(void*);
  a->wTypeFlags = t.flags;
  a->wMajorVerNum = t.verMajor;
  a->wMinorVerNum = t.verMinor;
  a->tdescAlias.vt = VT_EMPTY;
  *ppTypeAttr = a;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

void TypeInfo::ReleaseTypeAttr(TYPEATTR* pTypeAttr) { delete pTypeAttr; }

HRESULT TypeInfo::GetTypeComp(ITypeComp** ppTComp) try {
  if (ppTComp) *ppTComp = nullptr;
  return E_NOTIMPL;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

namespace {

// TYPEDESC nodes beyond the one embedded in an ELEMDESC.
size_t extraNodes(const TypeRef& t) { return t.pointers + (t.safeArray ? 1 : 0); }

// Writes `t` into `top`, taking chained nodes from `*pool`.
void buildTypeDesc(const TypeRef& t, TYPEDESC* top, TYPEDESC** pool) {
  TYPEDESC* cur = top;
  for (int p = 0; p < t.pointers; ++p) {
    cur->vt = VT_PTR;
    cur->lptdesc = (*pool)++;
    cur = cur->lptdesc;
  }
  if (t.safeArray) {
    cur->vt = VT_SAFEARRAY;
    cur->lptdesc = (*pool)++;
    cur = cur->lptdesc;
  }
  cur->vt = t.vt;
  if (t.vt == kVtUserDefined) cur->hreftype = t.href;
  else cur->lptdesc = nullptr;
}

}  // namespace

HRESULT TypeInfo::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) try {
  if (!ppFuncDesc) return E_INVALIDARG;
  *ppFuncDesc = nullptr;
  const TypeEntry& t = entry();
  if (index >= t.funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
  const Func& f = t.funcs[index];
  // One block: the FUNCDESC, its parameter ELEMDESCs, then chained TYPEDESCs.
  size_t nodes = extraNodes(f.result);
  for (const Param& p : f.params) nodes += extraNodes(p.type);
  size_t bytes = sizeof(FUNCDESC) + f.params.size() * sizeof(ELEMDESC) + nodes * sizeof(TYPEDESC);
  void* block = std::calloc(1, bytes);
  if (!block) return E_OUTOFMEMORY;
  auto* fd = static_cast<FUNCDESC*>(block);
  auto* params = reinterpret_cast<ELEMDESC*>(fd + 1);
  auto* pool = reinterpret_cast<TYPEDESC*>(params + f.params.size());
  fd->memid = f.memid;
  fd->lprgelemdescParam = f.params.empty() ? nullptr : params;
  fd->funckind = FUNC_PUREVIRTUAL;
  fd->invkind = static_cast<INVOKEKIND>(f.invkind);
  fd->callconv = static_cast<CALLCONV>(f.callconv);
  fd->cParams = static_cast<SHORT>(f.params.size());
  SHORT optional = 0;
  for (size_t k = 0; k < f.params.size(); ++k) {
    buildTypeDesc(f.params[k].type, &params[k].tdesc, &pool);
    params[k].paramdesc.wParamFlags = f.params[k].flags;
    if (f.params[k].flags & kParamOpt) ++optional;
  }
  fd->cParamsOpt = optional;
  fd->oVft = static_cast<SHORT>(f.vtableSlot * sizeof(void*));
  buildTypeDesc(f.result, &fd->elemdescFunc.tdesc, &pool);
  fd->wFuncFlags = f.flags;
  *ppFuncDesc = fd;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

void TypeInfo::ReleaseFuncDesc(FUNCDESC* pFuncDesc) { std::free(pFuncDesc); }

HRESULT TypeInfo::GetVarDesc(UINT, VARDESC** ppVarDesc) try {
  if (!ppVarDesc) return E_INVALIDARG;
  *ppVarDesc = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;  // our libraries describe no variables
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

void TypeInfo::ReleaseVarDesc(VARDESC* pVarDesc) { std::free(pVarDesc); }

HRESULT TypeInfo::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) try {
  if (!pcNames || (cMaxNames && !rgBstrNames)) return E_INVALIDARG;
  *pcNames = 0;
  for (const Member& m : members_) {
    const Func& f = *m.plan->func;
    if (f.memid != memid) continue;
    // The function's name, then its parameters' up to the first unnamed one.
    std::vector<const std::string*> names = {&f.name};
    for (const Param& p : f.params) {
      if (p.name.empty()) break;
      names.push_back(&p.name);
    }
    UINT n = 0;
    for (; n < names.size() && n < cMaxNames; ++n) {
      HRESULT hr = MakeBstr(*names[n], &rgBstrNames[n]);
      if (FAILED(hr)) {
        while (n > 0) SysFreeString(rgBstrNames[--n]), rgBstrNames[n] = nullptr;
        return hr;
      }
    }
    *pcNames = n;
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) try {
  if (!pRefType) return E_INVALIDARG;
  const TypeEntry& t = entry();
  if (index >= t.impls.size()) return TYPE_E_ELEMENTNOTFOUND;
  *pRefType = t.impls[index].href;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::GetImplTypeFlags(UINT index, INT* pImplTypeFlags) try {
  if (!pImplTypeFlags) return E_INVALIDARG;
  const TypeEntry& t = entry();
  if (index >= t.impls.size()) return TYPE_E_ELEMENTNOTFOUND;
  *pImplTypeFlags = t.kind == kTkindCoclass ? t.impls[index].flags : 0;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) try {
  if (!rgszNames || !pMemId || cNames == 0) return E_INVALIDARG;
  for (UINT i = 0; i < cNames; ++i) pMemId[i] = DISPID_UNKNOWN;
  if (!rgszNames[0]) return E_INVALIDARG;
  // Names are short; anything longer than any stored name cannot match.
  constexpr size_t kMaxName = 1024;
  auto fold = [](LPOLESTR s, std::u16string* out) {
    size_t n = BoundedLength(s, kMaxName);
    if (n > kMaxName) return false;
    out->assign(s, n);
    for (char16_t& c : *out) c = FoldAscii(c);
    return true;
  };
  std::u16string key;
  auto it = fold(rgszNames[0], &key) ? byName_.find(key) : byName_.end();
  if (it == byName_.end()) return DISP_E_UNKNOWNNAME;
  const Member& first = members_[it->second];
  pMemId[0] = first.plan->func->memid;
  HRESULT hr = S_OK;
  for (UINT i = 1; i < cNames; ++i) {
    if (!rgszNames[i] || !fold(rgszNames[i], &key)) {
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    // Parameter names come from any accessor of the member (a get and a put share them).
    bool found = false;
    for (const Member& m : members_) {
      const Func& f = *m.plan->func;
      if (f.memid != pMemId[0] || found) continue;
      for (size_t k = 0; k < f.params.size() && !found; ++k)
        if (!f.params[k].name.empty() && Fold(Utf8ToUtf16(f.params[k].name)) == key) {
          pMemId[i] = static_cast<MEMBERID>(k);
          found = true;
        }
    }
    if (!found) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                   DWORD* pdwHelpContext, BSTR* pBstrHelpFile) try {
  const TypeEntry& t = entry();
  const std::string& helpFile = lib_->model().helpFile;
  if (memid == MEMBERID_NIL)
    return fillDocumentation(t.name, t.help, t.helpContext, helpFile, pBstrName, pBstrDocString,
                             pdwHelpContext, pBstrHelpFile);
  for (const Member& m : members_) {
    const Func& f = *m.plan->func;
    if (f.memid == memid)
      return fillDocumentation(f.name, f.help, f.helpContext, helpFile, pBstrName,
                               pBstrDocString, pdwHelpContext, pBstrHelpFile);
  }
  return TYPE_E_ELEMENTNOTFOUND;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::GetDllEntry(MEMBERID, INVOKEKIND, BSTR* pBstrDllName, BSTR* pBstrName,
                              WORD* pwOrdinal) try {
  if (pBstrDllName) *pBstrDllName = nullptr;
  if (pBstrName) *pBstrName = nullptr;
  if (pwOrdinal) *pwOrdinal = 0;
  return TYPE_E_BADMODULEKIND;  // only modules have entry points
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) try {
  if (!ppTInfo) return E_INVALIDARG;
  *ppTInfo = nullptr;
  const Library& m = lib_->model();
  if (hRefType < kExternalRef) {
    if (hRefType >= m.types.size()) return TYPE_E_ELEMENTNOTFOUND;
    return lib_->GetTypeInfo(hRefType, ppTInfo);
  }
  uint32_t e = hRefType - kExternalRef;
  if (e >= m.externals.size()) return TYPE_E_ELEMENTNOTFOUND;
  const ExternalRef& ext = m.externals[e];
  const Import& im = m.imports[ext.import];
  GUID typeGuid = toGuid(ext.guid);
  if (im.guid == StdOle::kLibId) return StdOleLibrary()->GetTypeInfoOfGuid(typeGuid, ppTInfo);
  ITypeLib* other = nullptr;
  HRESULT hr = LoadRegTypeLib(toGuid(im.guid), im.verMajor, im.verMinor, im.lcid, &other);
  if (FAILED(hr)) return hr;
  hr = other->GetTypeInfoOfGuid(typeGuid, ppTInfo);
  other->Release();
  return hr;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) try {
  if (ppv) *ppv = nullptr;
  return TYPE_E_BADMODULEKIND;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::CreateInstance(IUnknown*, REFIID, PVOID* ppvObj) try {
  if (ppvObj) *ppvObj = nullptr;
  return entry().kind == kTkindCoclass ? E_NOTIMPL : TYPE_E_WRONGTYPEKIND;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::GetMops(MEMBERID, BSTR* pBstrMops) try {
  if (!pBstrMops) return E_INVALIDARG;
  *pBstrMops = nullptr;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) try {
  if (ppTLib) {
    *ppTLib = lib_;
    lib_->AddRef();
  }
  if (pIndex) *pIndex = index_;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

void TypeInfo::collectMembers(std::vector<Member>& out, int depth) const {
  const TypeEntry& t = entry();
  if (t.kind == kTkindCoclass || depth > static_cast<int>(lib_->model().types.size())) return;
  if (!t.impls.empty() && t.impls[0].href < kExternalRef)
    lib_->info(t.impls[0].href)->collectMembers(out, depth + 1);
  for (const FuncPlan& p : plans_) out.push_back(Member{&p, this});
}

// ---- the built-in standard library ------------------------------------------

TypeLib* StdOleLibrary() {
  static TypeLib* lib = [] {
    Library m;
    m.name = "stdole";
    m.guid = StdOle::kLibId;
    m.verMajor = 2;
    m.help = "OLE Automation";
    TypeEntry unknown;
    unknown.name = "IUnknown";
    unknown.guid = StdOle::kIUnknown;
    unknown.flags = kTypeRestricted | kTypeHidden;
    unknown.vtableSlots = StdOle::kIUnknownSlots;
    TypeEntry dispatch;
    dispatch.name = "IDispatch";
    dispatch.guid = StdOle::kIDispatch;
    dispatch.vtableSlots = StdOle::kIDispatchSlots;
    dispatch.impls.push_back(ImplType{0, 0});
    m.types = {unknown, dispatch};
    return TypeLib::Create(std::move(m));
  }();
  return lib;
}

}  // namespace mvcomm::typelib
