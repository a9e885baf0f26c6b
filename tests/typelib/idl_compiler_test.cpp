// File: tests/typelib/idl_compiler_test.cpp
//
// The IDL compiler: the component's definition compiles to exactly the
// contract clients rely on, idl -> tlb -> idl round trips, and bad
// definitions are refused with a line number.
#include <gtest/gtest.h>

#include "server/registration/component_ids.h"
#include "tests/typelib/typelib_fixtures.h"

namespace mvcomm::testing {
namespace {

using namespace typelib;

struct ParamRow {
  const char* name;
  uint16_t vt;
  uint8_t pointers;
  uint16_t flags;
};

struct MemberRow {
  uint16_t slot;
  int32_t dispid;
  uint16_t invkind;
  const char* name;
  std::vector<ParamRow> params;
};

const ParamRow kGetI2 = {"argvalue", kVtI2, 1, kParamOut | kParamRetval};
const ParamRow kGetI4 = {"argvalue", kVtI4, 1, kParamOut | kParamRetval};
const ParamRow kGetBstr = {"argvalue", kVtBstr, 1, kParamOut | kParamRetval};
const ParamRow kGetDate = {"argvalue", kVtDate, 1, kParamOut | kParamRetval};
const ParamRow kMachine = {"machinenum", kVtBstr, 0, kParamIn};

const std::vector<MemberRow> kMembers = {
    {7, 1, kInvokePropertyPut, "commport", {{"", kVtI2, 0, kParamIn}}},
    {8, 1, kInvokePropertyGet, "commport", {kGetI2}},
    {9, 2, kInvokePropertyPut, "bautrate", {{"", kVtI2, 0, kParamIn}}},
    {10, 2, kInvokePropertyGet, "bautrate", {kGetI2}},
    {11, 3, kInvokePropertyGet, "errormessage", {kGetBstr}},
    {12, 4, kInvokePropertyGet, "errorcode", {kGetI4}},
    {13, 5, kInvokePropertyGet, "rsrows", {kGetI4}},
    {14, 6, kInvokePropertyGet, "rsemployeeid", {kGetI4}},
    {15, 7, kInvokePropertyGet, "rsworkclass", {kGetBstr}},
    {16, 8, kInvokePropertyGet, "rscardedtime", {kGetDate}},
    {17, 9, kInvokePropertyGet, "rtrows", {kGetI4}},
    {18, 10, kInvokePropertyGet, "rtemployeeid", {kGetI4}},
    {19, 11, kInvokePropertyGet, "rtcardid", {kGetI4}},
    {20, 12, kInvokePropertyPut, "receivedatatimelapse", {{"", kVtI4, 0, kParamIn}}},
    {21, 12, kInvokePropertyGet, "receivedatatimelapse", {kGetI4}},
    {22, 13, kInvokeFunc, "setclock", {kMachine, {"clock", kVtDate, 0, kParamIn}}},
    {23, 14, kInvokeFunc, "moverecord", {{"numrecord", kVtI4, 0, kParamIn}, {"flag", kVtI4, 0, kParamIn}}},
    {24, 15, kInvokeFunc, "readdata",
     {kMachine, {"startdate", kVtDate, 0, kParamIn}, {"enddate", kVtDate, 0, kParamIn}}},
    {25, 16, kInvokeFunc, "cleardata", {kMachine}},
    {26, 17, kInvokeFunc, "rtbeginwrite", {{"recordcount", kVtI4, 0, kParamIn}}},
    {27, 18, kInvokeFunc, "rtwriterecord",
     {{"numrecord", kVtI4, 0, kParamIn}, {"employeeid", kVtI4, 0, kParamIn}, {"cardid", kVtI4, 0, kParamIn}}},
    {28, 19, kInvokeFunc, "readrefertable", {kMachine}},
    {29, 20, kInvokeFunc, "writerefertable", {kMachine}},
};

TEST(ComponentIdl, LibraryHasTheContractAttributes) {
  Library lib = CompileOrFail(ComponentIdl());
  EXPECT_EQ(lib.name, "MVComm");
  EXPECT_EQ(lib.help, "Morvane Communication Component 1.0 TypeLib");
  EXPECT_EQ(lib.verMajor, 1);
  EXPECT_EQ(lib.verMinor, 0);
  EXPECT_EQ(lib.lcid, 0x0409u);
  EXPECT_EQ(lib.syskind, kSysKindWin32);
  EXPECT_EQ(lib.flags, 0);
  ASSERT_EQ(lib.imports.size(), 1u);
  EXPECT_EQ(lib.imports[0].guid, StdOle::kLibId);
  ASSERT_EQ(lib.types.size(), 2u);

  const TypeEntry& iface = lib.types[0];
  EXPECT_EQ(iface.name, "IMVComm");
  EXPECT_EQ(iface.kind, kTkindInterface);
  EXPECT_EQ(iface.flags, kTypeDual | kTypeNonExtensible | kTypeOleAutomation);
  EXPECT_EQ(iface.vtableSlots, 30);
  EXPECT_EQ(iface.help, "");
  ASSERT_EQ(iface.impls.size(), 1u);
  ASSERT_GE(iface.impls[0].href, kExternalRef);
  EXPECT_EQ(lib.externals[iface.impls[0].href - kExternalRef].guid, StdOle::kIDispatch);

  const TypeEntry& coclass = lib.types[1];
  EXPECT_EQ(coclass.name, "MVComm");
  EXPECT_EQ(coclass.kind, kTkindCoclass);
  EXPECT_EQ(coclass.flags, kTypeCanCreate);
  ASSERT_EQ(coclass.impls.size(), 1u);
  EXPECT_EQ(coclass.impls[0].href, 0u);
  EXPECT_EQ(coclass.impls[0].flags, kImplDefault);
}

TEST(ComponentIdl, MembersFollowTheSlotTable) {
  Library lib = CompileOrFail(ComponentIdl());
  ASSERT_EQ(lib.types.size(), 2u);
  const std::vector<Func>& funcs = lib.types[0].funcs;
  ASSERT_EQ(funcs.size(), kMembers.size());
  for (size_t i = 0; i < kMembers.size(); ++i) {
    const MemberRow& want = kMembers[i];
    const Func& f = funcs[i];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(f.vtableSlot, want.slot);
    EXPECT_EQ(f.memid, want.dispid);
    EXPECT_EQ(f.invkind, want.invkind);
    EXPECT_EQ(f.name, want.name);
    EXPECT_EQ(f.result, TypeRef{kVtHresult});
    EXPECT_EQ(f.callconv, kCallConvStdcall);
    EXPECT_EQ(f.flags, 0);
    EXPECT_EQ(f.help, "");
    EXPECT_EQ(f.helpContext, 0u);
    ASSERT_EQ(f.params.size(), want.params.size());
    for (size_t k = 0; k < want.params.size(); ++k) {
      EXPECT_EQ(f.params[k].name, want.params[k].name);
      EXPECT_EQ(f.params[k].type.vt, want.params[k].vt);
      EXPECT_EQ(f.params[k].type.pointers, want.params[k].pointers);
      EXPECT_FALSE(f.params[k].type.safeArray);
      EXPECT_EQ(f.params[k].flags, want.params[k].flags);
    }
  }
}

TEST(ComponentIdl, IdentifiersAreTheComponentsOwn) {
  Library lib = CompileOrFail(ComponentIdl());
  ASSERT_EQ(lib.types.size(), 2u);
  auto same = [](const Guid& g, const GUID& want) { return std::memcmp(g.data(), &want, 16) == 0; };
  EXPECT_TRUE(same(lib.guid, registration::kLibidMVComm));
  EXPECT_TRUE(same(lib.types[0].guid, registration::kIidIMVComm));
  EXPECT_TRUE(same(lib.types[1].guid, registration::kClsidMVComm));
}

TEST(IdlRoundTrip, CompiledPrintedAndRecompiledGivesTheSameBytes) {
  Library first = CompileOrFail(ComponentIdl());
  std::vector<uint8_t> tlb = WriteLibrary(first);
  Library read;
  ASSERT_EQ(ReadLibrary(tlb.data(), tlb.size(), &read), ReadResult::kOk);
  EXPECT_EQ(read, first);
  std::string printed = idl::Print(read);
  Library second = CompileOrFail(printed);
  EXPECT_EQ(WriteLibrary(second), tlb);
  EXPECT_EQ(idl::Print(second), printed);
}

// Every construct of the subset survives the round trip.
TEST(IdlRoundTrip, EveryConstructOfTheSubsetSurvives) {
  const std::string idl = R"(
    import "oaidl.idl";
    [uuid(11111111-2222-3333-4444-555555555555), version(3.12), lcid(0x0407),
     helpstring("all \"of\" it\\"), helpfile("x.hlp"), helpcontext(7), hidden, control]
    library Everything {
      importlib("stdole2.tlb");
      [object, uuid(11111111-2222-3333-4444-000000000001), oleautomation, hidden,
       helpstring("base"), helpcontext(0x10), version(2.1), pointer_default(unique)]
      interface IBase : IDispatch {
        HRESULT first([in] long a);
        [propget] HRESULT prop([out, retval] VARIANT* v);
        [propput] HRESULT prop([in] VARIANT v);
        [propputref] HRESULT obj([in] IDispatch* d);
      };
      [object, uuid(11111111-2222-3333-4444-000000000002), dual]
      interface IDerived : IBase {
        [id(-4), restricted, hidden] HRESULT _NewEnum([out, retval] IUnknown** e);
        [id(0x60030001), source, bindable, nonbrowsable, helpstring("t"), helpcontext(3)]
        HRESULT types([in] short a, [in] float b, [in] double c, [in] CURRENCY d, [in] DATE e,
                      [in] SCODE f, [in] VARIANT_BOOL g, [in] DECIMAL h, [in] char i,
                      [in] unsigned char j, [in] unsigned short k, [in] unsigned long l,
                      [in] hyper m, [in] unsigned hyper n, [in] int o, [in] unsigned int p,
                      [in] SAFEARRAY(BSTR) q, [in, out] SAFEARRAY(VARIANT)* r,
                      [in] IBase* s, [out] IDerived** t, [in, optional] VARIANT u,
                      [lcid] long w, [out, retval] BSTR* x);
        double plain([in] long a);
      };
      [uuid(11111111-2222-3333-4444-000000000003), noncreatable, appobject, licensed,
       aggregatable, helpstring("cls"), version(1.5)]
      coclass Thing {
        [default] interface IDerived;
        [source, restricted] interface IBase;
        [defaultvtable] interface IDerived;
      };
    };)";
  Library first = CompileOrFail(idl);
  std::string printed = idl::Print(first);
  Library second = CompileOrFail(printed);
  EXPECT_EQ(second, first) << printed;
  std::vector<uint8_t> tlb = WriteLibrary(first);
  Library read;
  EXPECT_EQ(ReadLibrary(tlb.data(), tlb.size(), &read), ReadResult::kOk);
  EXPECT_EQ(read, first);
}

TEST(IdlCompiler, AssignsIdentifiersAndDirectionsLikeTheStandardCompiler) {
  Library lib = CompileOrFail(R"(
    [uuid(11111111-2222-3333-4444-555555555555)] library L {
      importlib("stdole2.tlb");
      [object, uuid(11111111-2222-3333-4444-000000000001), dual]
      interface I : IDispatch {
        [propget] HRESULT p([out, retval] long* v);
        [propput] HRESULT p(long v);
        HRESULT m();
      };
    };)");
  ASSERT_EQ(lib.types.size(), 1u);
  const std::vector<Func>& f = lib.types[0].funcs;
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].memid, 0x60020000);
  EXPECT_EQ(f[1].memid, 0x60020000);  // the put shares its get's identifier
  EXPECT_EQ(f[2].memid, 0x60020002);
  EXPECT_EQ(f[1].params[0].flags, kParamIn);  // no direction means in
  EXPECT_EQ(f[0].vtableSlot, 7);
  EXPECT_EQ(lib.types[0].flags, kTypeDual | kTypeOleAutomation);
}

struct BadIdl {
  const char* what;
  const char* idl;
  const char* message;  // expected in the error text
};

constexpr const char* kLib = "[uuid(11111111-2222-3333-4444-555555555555)] library L { importlib(\"stdole2.tlb\"); ";
constexpr const char* kIface = "[object, uuid(11111111-2222-3333-4444-000000000001)] interface I : IDispatch { ";

TEST(IdlCompiler, RefusesBadDefinitionsWithALineNumber) {
  const std::vector<BadIdl> cases = {
      {"empty", "", "no library block"},
      {"no uuid", "library L {};", "library needs a uuid"},
      {"bad uuid", "[uuid(1234)] library L {};", "bad uuid"},
      {"unknown library attribute", "[uuid(11111111-2222-3333-4444-555555555555), shiny] library L {};",
       "attribute 'shiny' not supported on a library"},
      {"repeated attribute", "[uuid(11111111-2222-3333-4444-555555555555), hidden, hidden] library L {};",
       "repeated attribute hidden"},
      {"two libraries",
       "[uuid(11111111-2222-3333-4444-555555555555)] library L {}; [uuid(11111111-2222-3333-4444-555555555555)] library M {};",
       "a second library block"},
      {"other import", "[uuid(11111111-2222-3333-4444-555555555555)] library L { importlib(\"x.tlb\"); };",
       "only importlib"},
      {"IDispatch without import",
       "[uuid(11111111-2222-3333-4444-555555555555)] library L { [object, uuid(11111111-2222-3333-4444-000000000001)] interface I : IDispatch {}; };",
       "needs importlib"},
      {"unknown type", "%LIB%%IFACE% HRESULT m([in] widget* w); }; };", "unknown type 'widget'"},
      {"interface by value", "%LIB%%IFACE% HRESULT m([in] IDispatch d); }; };", "used without a pointer"},
      {"out by value", "%LIB%%IFACE% HRESULT m([out] long v); }; };", "out parameter by value"},
      {"retval not last", "%LIB%%IFACE% HRESULT m([out, retval] long* v, [in] long w); }; };",
       "retval must be the last"},
      {"two kinds", "%LIB%%IFACE% [propget, propput] HRESULT m([in] long v); }; };", "more than one of"},
      {"put without value", "%LIB%%IFACE% [propput] HRESULT m(); }; };", "property put without a value"},
      {"put with only a locale", "%LIB%%IFACE% [propput] HRESULT m([lcid] long l); }; };",
       "property put without a value"},
      {"member twice", "%LIB%%IFACE% [id(1)] HRESULT m(); [id(1)] HRESULT m(); }; };", "member id 1 used twice"},
      {"one name, two ids", "%LIB%%IFACE% [id(1)] HRESULT m(); [id(2)] HRESULT M(); }; };",
       "one name for two member ids"},
      {"lcid not long", "%LIB%%IFACE% HRESULT m([lcid] short l); }; };", "lcid parameter"},
      {"dual on IUnknown",
       "%LIB%[object, dual, uuid(11111111-2222-3333-4444-000000000001)] interface I : IUnknown {}; };",
       "must derive from IDispatch"},
      {"no base", "%LIB%[object, uuid(11111111-2222-3333-4444-000000000001)] interface I {}; };",
       "needs a base interface"},
      {"self inheritance", "%LIB%[object, uuid(11111111-2222-3333-4444-000000000001)] interface I : I {}; };",
       "inherits from itself"},
      {"coclass of coclass",
       "%LIB%[uuid(11111111-2222-3333-4444-000000000003)] coclass C { interface C; }; };", "is a coclass"},
      {"defined twice", "%LIB%%IFACE% }; %IFACE% }; };", "defined twice"},
      {"unterminated string", "[uuid(11111111-2222-3333-4444-555555555555), helpstring(\"abc)] library L {};",
       "unterminated"},
      {"unterminated comment", "/* forever", "unterminated comment"},
      {"stray character", "%LIB% @ };", "unexpected character '@'"},
      {"id out of range", "%LIB%%IFACE% [id(0x1FFFFFFFF)] HRESULT m(); }; };", "out of range"},
      {"array parameter", "%LIB%%IFACE% HRESULT m([in] long a[]); }; };", "use SAFEARRAY"},
      {"truncated", "%LIB%%IFACE% HRESULT m(", "expected"},
  };
  for (const BadIdl& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = c.idl;
    for (auto [key, value] : {std::pair<std::string, std::string>{"%LIB%", kLib}, {"%IFACE%", kIface}}) {
      size_t at;
      while ((at = text.find(key)) != std::string::npos) text.replace(at, key.size(), value);
    }
    Library lib;
    std::string error = idl::Compile(text, "bad.idl", &lib);
    EXPECT_NE(error.find(c.message), std::string::npos) << error << " / " << text;
    EXPECT_EQ(error.rfind("bad.idl", 0), 0u) << error;
    EXPECT_EQ(lib, Library{});
  }
}

TEST(IdlCompiler, ErrorNamesTheLineOfTheFault) {
  Library lib;
  std::string error = idl::Compile("\n\n[uuid(11111111-2222-3333-4444-555555555555)]\nlibrary L {\n  bogus;\n};",
                                   "x.idl", &lib);
  EXPECT_EQ(error, "x.idl:5: 'bogus' is not supported in a library");
}

// The format cannot hold a NUL inside a text, so the compiler refuses one
// rather than write a library that would not load.
TEST(IdlCompiler, RefusesTextsTheFormatCannotHold) {
  Library lib;
  std::string nul = std::string("[uuid(11111111-2222-3333-4444-555555555555), helpstring(\"a") + '\0' +
                    "b\")] library L {};";
  EXPECT_EQ(idl::Compile(nul, "x.idl", &lib), "x.idl:1: NUL in string");
  std::string longName = "[uuid(11111111-2222-3333-4444-555555555555)] library " + std::string(70000, 'n') + " {};";
  EXPECT_NE(idl::Compile(longName, "x.idl", &lib).find("would not load"), std::string::npos);
}

}  // namespace
}  // namespace mvcomm::testing
