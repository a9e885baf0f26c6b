// File: platform/ole/typelib/tlb_model.h
//
// The in-memory form of a type library: what the IDL compiler builds, what the
// writer turns into bytes, what the loader checks and the dumper prints. Plain
// values only; the ITypeLib / ITypeInfo objects are built on top of it.
//
// Every code stored here (VARTYPEs, type kinds, flags) has the value of the
// automation constant it stands for, so no translation is needed anywhere.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mvcomm::typelib {

// Automation constants the model uses, by their automation values.
enum VarType : uint16_t {
  kVtEmpty = 0, kVtNull = 1, kVtI2 = 2, kVtI4 = 3, kVtR4 = 4, kVtR8 = 5, kVtCy = 6,
  kVtDate = 7, kVtBstr = 8, kVtDispatch = 9, kVtError = 10, kVtBool = 11,
  kVtVariant = 12, kVtUnknown = 13, kVtDecimal = 14, kVtI1 = 16, kVtUi1 = 17,
  kVtUi2 = 18, kVtUi4 = 19, kVtI8 = 20, kVtUi8 = 21, kVtInt = 22, kVtUint = 23,
  kVtVoid = 24, kVtHresult = 25, kVtPtr = 26, kVtSafeArray = 27,
  kVtUserDefined = 29,
};

enum TypeKind : uint16_t { kTkindInterface = 3, kTkindDispatch = 4, kTkindCoclass = 5 };

enum InvokeKind : uint16_t {
  kInvokeFunc = 1, kInvokePropertyGet = 2, kInvokePropertyPut = 4, kInvokePropertyPutRef = 8,
};

enum ParamFlag : uint16_t {
  kParamIn = 0x1, kParamOut = 0x2, kParamLcid = 0x4, kParamRetval = 0x8, kParamOpt = 0x10,
};

enum TypeFlag : uint16_t {
  kTypeAppObject = 0x1, kTypeCanCreate = 0x2, kTypeLicensed = 0x4, kTypeHidden = 0x10,
  kTypeControl = 0x20, kTypeDual = 0x40, kTypeNonExtensible = 0x80,
  kTypeOleAutomation = 0x100, kTypeRestricted = 0x200, kTypeAggregatable = 0x400,
  kTypeDispatchable = 0x1000,
};

enum FuncFlag : uint16_t {
  kFuncRestricted = 0x1, kFuncSource = 0x2, kFuncBindable = 0x4, kFuncHidden = 0x40,
  kFuncNonBrowsable = 0x400,
};

enum ImplFlag : uint16_t {
  kImplDefault = 0x1, kImplSource = 0x2, kImplRestricted = 0x4, kImplDefaultVtable = 0x8,
};

enum LibFlag : uint16_t { kLibRestricted = 0x1, kLibControl = 0x2, kLibHidden = 0x4 };

inline constexpr uint16_t kSysKindWin32 = 1;
inline constexpr uint16_t kCallConvStdcall = 4;

// A reference to a type: below kExternalRef it indexes Library::types, at or
// above it (minus kExternalRef) Library::externals.
inline constexpr uint32_t kExternalRef = 0x40000000u;
inline constexpr uint32_t kNoRef = 0xFFFFFFFFu;

using Guid = std::array<uint8_t, 16>;  // binary layout: Data1, Data2, Data3 little-endian, Data4

struct TypeRef {
  uint16_t vt = kVtEmpty;  // base type; kVtUserDefined names `href`
  uint8_t pointers = 0;    // levels of indirection on top of the base (or of the array)
  bool safeArray = false;  // SAFEARRAY(base)
  uint32_t href = kNoRef;  // the referenced type when vt is kVtUserDefined
  bool operator==(const TypeRef&) const = default;
};

struct Param {
  std::string name;    // empty when unnamed (property put values)
  TypeRef type;
  uint16_t flags = 0;  // ParamFlag bits
  bool operator==(const Param&) const = default;
};

struct Func {
  std::string name;
  int32_t memid = 0;           // dispatch identifier
  uint16_t invkind = kInvokeFunc;
  uint16_t flags = 0;          // FuncFlag bits
  uint16_t vtableSlot = 0;     // index into the interface's virtual table
  uint16_t callconv = kCallConvStdcall;
  TypeRef result{kVtHresult};
  std::vector<Param> params;
  std::string help;
  uint32_t helpContext = 0;
  bool operator==(const Func&) const = default;
};

struct ImplType {
  uint32_t href = kNoRef;  // an interface, local or external
  uint16_t flags = 0;      // ImplFlag bits
  bool operator==(const ImplType&) const = default;
};

struct TypeEntry {
  std::string name;
  Guid guid{};
  uint16_t kind = kTkindInterface;
  uint16_t flags = 0;       // TypeFlag bits
  uint16_t verMajor = 0;
  uint16_t verMinor = 0;
  std::string help;
  uint32_t helpContext = 0;
  uint16_t vtableSlots = 0; // slots of the whole virtual table, inherited ones included
  std::vector<Func> funcs;
  std::vector<ImplType> impls;  // interface: its base (at most one); coclass: what it implements
  bool operator==(const TypeEntry&) const = default;
};

struct Import {
  std::string file;   // as written in importlib("...")
  Guid guid{};
  uint16_t verMajor = 0;
  uint16_t verMinor = 0;
  uint32_t lcid = 0;
  bool operator==(const Import&) const = default;
};

struct ExternalRef {
  uint32_t import = 0;  // index into Library::imports
  std::string name;
  Guid guid{};
  bool operator==(const ExternalRef&) const = default;
};

struct Library {
  std::string name;
  Guid guid{};
  uint32_t lcid = 0;
  uint16_t verMajor = 0;
  uint16_t verMinor = 0;
  uint16_t syskind = kSysKindWin32;
  uint16_t flags = 0;  // LibFlag bits
  std::string help;
  uint32_t helpContext = 0;
  std::string helpFile;
  std::vector<Import> imports;
  std::vector<ExternalRef> externals;
  std::vector<TypeEntry> types;
  bool operator==(const Library&) const = default;
};

// The standard automation library that every automation interface imports for
// IUnknown and IDispatch; the compiler and the loader both know it by heart.
struct StdOle {
  static constexpr const char* kFile = "stdole2.tlb";
  static const Guid kLibId;        // {00020430-0000-0000-C000-000000000046}, version 2.0
  static const Guid kIUnknown;     // {00000000-0000-0000-C000-000000000046}
  static const Guid kIDispatch;    // {00020400-0000-0000-C000-000000000046}
  static constexpr uint16_t kIUnknownSlots = 3;
  static constexpr uint16_t kIDispatchSlots = 7;
};

// Text form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, upper case.
std::string GuidToText(const Guid& g);
// Parses the text form with or without braces; false on anything else.
bool GuidFromText(std::string_view text, Guid* out);

}  // namespace mvcomm::typelib
