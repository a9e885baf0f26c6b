// File: platform/ole/typelib/type_lib.h
//
// ITypeLib and ITypeInfo over a loaded type library model. A TypeLib owns its
// TypeInfos and shares one reference count with them, so a type information
// handed to a client keeps its library (and the library its siblings) alive.
// Both are immutable after construction and safe to use from any thread.
#pragma once

#include <ffi.h>

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ole/oaidl.h"
#include "platform/ole/typelib/tlb_model.h"

namespace mvcomm::typelib {

class TypeLib;

// How Invoke passes one parameter, worked out once per function.
struct ParamPlan {
  VARTYPE vt = VT_EMPTY;  // what an argument is coerced to (VT_ARRAY|base for arrays)
  bool byRef = false;     // passed as a pointer to the value
  bool supported = true;  // false: a type Invoke cannot marshal (DISP_E_BADVARTYPE)
};

// Everything Invoke needs about one function, prepared at load time.
struct FuncPlan {
  const Func* func = nullptr;
  std::vector<ParamPlan> params;   // one per Func::params entry
  std::vector<uint16_t> counted;   // indices of the parameters callers pass
  uint16_t required = 0;           // counted parameters that are not optional
  int retval = -1;                 // index of the [retval] parameter, or -1
  VARTYPE resultVt = VT_EMPTY;     // non-HRESULT return type to hand back, or VT_EMPTY
  bool hresult = true;             // the slot returns an HRESULT
  std::vector<ffi_type*> ffiArgs;  // `this` first
  ffi_cif cif{};
  bool callable = false;           // cif prepared and every type supported
};

class TypeInfo final : public ITypeInfo {
 public:
  TypeInfo(TypeLib* lib, uint32_t index);

  // IUnknown: counts are the library's.
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) override;
  HRESULT GetTypeComp(ITypeComp** ppTComp) override;
  HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
  HRESULT GetVarDesc(UINT index, VARDESC** ppVarDesc) override;
  HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override;
  HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override;
  HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override;
  HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override;
  HRESULT Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                 VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
  HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                           DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
  HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName,
                      WORD* pwOrdinal) override;
  HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
  HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND invKind, PVOID* ppv) override;
  HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) override;
  HRESULT GetMops(MEMBERID memid, BSTR* pBstrMops) override;
  HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
  void ReleaseTypeAttr(TYPEATTR* pTypeAttr) override;
  void ReleaseFuncDesc(FUNCDESC* pFuncDesc) override;
  void ReleaseVarDesc(VARDESC* pVarDesc) override;

  const TypeEntry& entry() const;
  // The plans of this interface's own functions, in order.
  const std::vector<FuncPlan>& plans() const { return plans_; }
  // Construction, in two passes over a library's types: the call plans of
  // each type, then (bases' plans being ready) the dispatchable members.
  void preparePlans();
  void buildMembers();

 private:
  struct Member {
    const FuncPlan* plan;
    const TypeInfo* owner;
  };
  // Every function reachable by dispatch: this interface's and its local bases'.
  void collectMembers(std::vector<Member>& out, int depth) const;
  const FuncPlan* findFunc(MEMBERID memid, WORD wFlags, bool* memidExists) const;
  HRESULT invokePlan(const FuncPlan& plan, PVOID pvInstance, WORD wFlags, DISPPARAMS* dp,
                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) const;
  // A property get given arguments it does not take: gets the object and
  // invokes its DISPID_VALUE with them. DISP_E_NOTACOLLECTION when the get
  // gives no object.
  HRESULT invokeOnCollection(const FuncPlan& plan, PVOID pvInstance, WORD wFlags, DISPPARAMS* dp,
                             VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) const;

  TypeLib* lib_;
  uint32_t index_;
  std::vector<FuncPlan> plans_;
  std::vector<Member> members_;                          // for Invoke and GetIDsOfNames
  std::unordered_map<std::u16string, size_t> byName_;    // folded name -> first member index
};

class TypeLib final : public ITypeLib {
 public:
  // A library with one reference held by the caller.
  static TypeLib* Create(Library model);

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  UINT GetTypeInfoCount() override;
  HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override;
  HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) override;
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override;
  HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) override;
  HRESULT GetTypeComp(ITypeComp** ppTComp) override;
  HRESULT GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                           DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
  HRESULT IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) override;
  HRESULT FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                   USHORT* pcFound) override;
  void ReleaseTLibAttr(TLIBATTR* pTLibAttr) override;

  const Library& model() const { return model_; }
  TypeInfo* info(size_t index) const { return infos_[index].get(); }

 private:
  explicit TypeLib(Library model);
  ~TypeLib();

  std::atomic<ULONG> refs_{1};
  Library model_;
  std::vector<std::unique_ptr<TypeInfo>> infos_;
};

// The built-in standard automation library (IUnknown, IDispatch), which our
// libraries import; never freed. Returned without an added reference.
TypeLib* StdOleLibrary();

// Sets *out (if given) to a new BSTR holding `s`; E_OUTOFMEMORY on failure.
HRESULT MakeBstr(const std::string& s, BSTR* out);

}  // namespace mvcomm::typelib
