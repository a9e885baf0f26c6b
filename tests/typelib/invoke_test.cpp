// File: tests/typelib/invoke_test.cpp
//
// Late binding through ITypeInfo::Invoke: a test interface that uses every
// parameter type and direction of our IDL subset, implemented by a C++
// object, and IMVComm over a fake object that records what reaches it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/ole/ole_testing.h"
#include "platform/ole/typelib/type_lib.h"
#include "testing/mvcomm_slots.h"
#include "tests/typelib/typelib_fixtures.h"

namespace mvcomm::testing {
namespace {

// ---- the test interface ------------------------------------------------------

const char* kTestIdl = R"(
[uuid(22222222-0000-0000-0000-000000000001), version(1.0), lcid(0x0407)]
library TestLib {
  importlib("stdole2.tlb");
  [object, uuid(22222222-0000-0000-0000-000000000002), dual, oleautomation]
  interface ITest : IDispatch {
    [id(1), propget] HRESULT count([out, retval] long* value);
    [id(1), propput] HRESULT count([in] long value);
    [id(2)] HRESULT scalars([in] short i2, [in] long i4, [in] float r4, [in] double r8,
        [in] CURRENCY cy, [in] DATE d, [in] BSTR s, [in] VARIANT_BOOL b, [in] SCODE e,
        [in] char i1, [in] unsigned char u1, [in] unsigned short u2, [in] unsigned long u4,
        [in] hyper i8, [in] unsigned hyper u8, [in] int i, [in] unsigned int u,
        [in] DECIMAL dec, [in] VARIANT v, [in] IDispatch* disp, [in] IUnknown* unk);
    [id(3)] HRESULT outs([out] long* l, [out] BSTR* s, [out] VARIANT* v, [in, out] double* d);
    [id(4)] HRESULT join([in] BSTR a, [in] long n, [out, retval] BSTR* result);
    [id(5)] HRESULT opt([in] long a, [in, optional] VARIANT b, [in, optional] SCODE e,
        [out, retval] long* kind);
    [id(6)] HRESULT locale([in] long a, [lcid] long lcid, [out, retval] long* seen);
    [id(7)] HRESULT fail([in] long hr);
    [id(8)] HRESULT sum([in] SAFEARRAY(long) a, [out, retval] long* total);
    [id(9), restricted] HRESULT secret();
    [id(10)] long plain([in] long a);
    [id(11)] HRESULT self([out, retval] ITest** me);
    [id(12)] HRESULT refs([in] VARIANT* v, [in] BSTR* s);
  };
};)";

struct ITest : IDispatch {
  virtual HRESULT get_count(LONG* value) = 0;
  virtual HRESULT put_count(LONG value) = 0;
  virtual HRESULT scalars(SHORT i2, LONG i4, FLOAT r4, DOUBLE r8, CY cy, DATE d, BSTR s, VARIANT_BOOL b,
                          SCODE e, CHAR i1, BYTE u1, USHORT u2, ULONG u4, LONGLONG i8, ULONGLONG u8,
                          INT i, UINT u, DECIMAL dec, VARIANT v, IDispatch* disp, IUnknown* unk) = 0;
  virtual HRESULT outs(LONG* l, BSTR* s, VARIANT* v, DOUBLE* d) = 0;
  virtual HRESULT join(BSTR a, LONG n, BSTR* result) = 0;
  virtual HRESULT opt(LONG a, VARIANT b, SCODE e, LONG* kind) = 0;
  virtual HRESULT locale(LONG a, LONG lcid, LONG* seen) = 0;
  virtual HRESULT fail(LONG hr) = 0;
  virtual HRESULT sum(SAFEARRAY* a, LONG* total) = 0;
  virtual HRESULT secret() = 0;
  virtual LONG plain(LONG a) = 0;
  virtual HRESULT self(ITest** me) = 0;
  virtual HRESULT refs(VARIANT* v, BSTR* s) = 0;

 protected:
  ~ITest() = default;
};

// Records what each call received.
class TestObject final : public ITest {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refCount; }
  ULONG Release() override { return --refCount; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT get_count(LONG* value) override {
    calls.push_back("get_count");
    *value = count;
    return S_OK;
  }
  HRESULT put_count(LONG value) override {
    calls.push_back("put_count");
    count = value;
    return S_OK;
  }
  HRESULT scalars(SHORT i2, LONG i4, FLOAT r4, DOUBLE r8, CY cy, DATE d, BSTR s, VARIANT_BOOL b, SCODE e,
                  CHAR i1, BYTE u1, USHORT u2, ULONG u4, LONGLONG i8, ULONGLONG u8, INT i, UINT u,
                  DECIMAL dec, VARIANT v, IDispatch* disp, IUnknown* unk) override {
    calls.push_back("scalars");
    got = {i2, i4, r4, r8, cy.int64, d, std::u16string(s ? s : u""), b, e, i1, u1, u2, u4, i8, u8, i, u,
           dec.Lo64, dec.scale, dec.sign, v.vt, v.lVal, disp, unk};
    return S_OK;
  }
  HRESULT outs(LONG* l, BSTR* s, VARIANT* v, DOUBLE* d) override {
    calls.push_back("outs");
    *l = 42;
    *s = SysAllocString(u"out");
    VariantClear(v);
    v->vt = VT_I2;
    v->iVal = 7;
    *d = *d * 2;
    return S_OK;
  }
  HRESULT join(BSTR a, LONG n, BSTR* result) override {
    calls.push_back("join");
    std::u16string r;
    for (LONG k = 0; k < n; ++k) r += a;
    *result = SysAllocString(r.c_str());
    return S_OK;
  }
  HRESULT opt(LONG, VARIANT b, SCODE e, LONG* kind) override {
    calls.push_back("opt");
    seenScode = e;
    *kind = b.vt == VT_ERROR && b.scode == DISP_E_PARAMNOTFOUND ? -1 : b.vt;
    return S_OK;
  }
  HRESULT locale(LONG a, LONG lcid, LONG* seen) override {
    calls.push_back("locale");
    *seen = lcid + a;
    return S_OK;
  }
  HRESULT fail(LONG hr) override {
    calls.push_back("fail");
    return hr;
  }
  HRESULT sum(SAFEARRAY* a, LONG* total) override {
    calls.push_back("sum");
    LONG lo, hi;
    *total = 0;
    SafeArrayGetLBound(a, 1, &lo);
    SafeArrayGetUBound(a, 1, &hi);
    for (LONG k = lo; k <= hi; ++k) {
      LONG v;
      SafeArrayGetElement(a, &k, &v);
      *total += v;
    }
    return S_OK;
  }
  HRESULT secret() override {
    calls.push_back("secret");
    return S_OK;
  }
  LONG plain(LONG a) override {
    calls.push_back("plain");
    return a * 3;
  }
  HRESULT self(ITest** me) override {
    calls.push_back("self");
    *me = this;
    AddRef();
    return S_OK;
  }
  HRESULT refs(VARIANT* v, BSTR* s) override {
    calls.push_back("refs");
    seenVt = v->vt;
    seenText = *s ? *s : u"";
    return S_OK;
  }

  struct Got {
    SHORT i2;
    LONG i4;
    FLOAT r4;
    DOUBLE r8;
    LONGLONG cy;
    DATE d;
    std::u16string s;
    VARIANT_BOOL b;
    SCODE e;
    CHAR i1;
    BYTE u1;
    USHORT u2;
    ULONG u4;
    LONGLONG i8;
    ULONGLONG u8;
    INT i;
    UINT u;
    ULONGLONG decLo;
    BYTE decScale;
    BYTE decSign;
    VARTYPE vVt;
    LONG vVal;
    IDispatch* disp;
    IUnknown* unk;
  } got{};
  std::vector<std::string> calls;
  LONG count = 0;
  ULONG refCount = 1;
  VARTYPE seenVt = 0;
  SCODE seenScode = 0;
  std::u16string seenText;
};

VARIANT I4(LONG v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I4;
  x.lVal = v;
  return x;
}
VARIANT Str(const char16_t* s) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BSTR;
  x.bstrVal = SysAllocString(s);
  return x;
}
VARIANT R8(double v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_R8;
  x.dblVal = v;
  return x;
}

// Arguments given first to last; held reversed as DISPPARAMS wants them.
class Args {
 public:
  Args(std::initializer_list<VARIANT> args) : v_(args.begin(), args.end()) {
    std::reverse(v_.begin(), v_.end());
    dp_.rgvarg = v_.empty() ? nullptr : v_.data();
    dp_.cArgs = static_cast<UINT>(v_.size());
  }
  ~Args() {
    for (VARIANT& v : v_) VariantClear(&v);
  }
  Args& named(std::vector<DISPID> ids) {
    names_ = std::move(ids);
    dp_.rgdispidNamedArgs = names_.data();
    dp_.cNamedArgs = static_cast<UINT>(names_.size());
    return *this;
  }
  // A property put: the value, then DISPID_PROPERTYPUT.
  Args& put() { return named({DISPID_PROPERTYPUT}); }
  DISPPARAMS* get() { return &dp_; }
  VARIANT& operator[](size_t i) { return v_[i]; }  // reversed index, as rgvarg

 private:
  std::vector<VARIANT> v_;
  std::vector<DISPID> names_;
  DISPPARAMS dp_ = {nullptr, nullptr, 0, 0};
};

class TestInvoke : public ::testing::Test {
 protected:
  void SetUp() override {
    before_ = ole::LiveCounts::now();
    ASSERT_EQ(LoadFromIdl(kTestIdl, lib_.out()), S_OK);
    ASSERT_EQ(lib_->GetTypeInfo(0, info_.out()), S_OK);
    VariantInit(&result_);
  }
  void TearDown() override {
    VariantClear(&result_);
    EXPECT_EQ(ole::LiveCounts::now(), before_);  // every BSTR and array released
  }
  HRESULT Call(DISPID id, WORD flags, Args& args) {
    VariantClear(&result_);
    argErr_ = 9999;
    std::memset(&excep_, 0, sizeof excep_);
    return info_->Invoke(static_cast<ITest*>(&obj_), id, flags, args.get(), &result_, &excep_, &argErr_);
  }

  ole::LiveCounts before_;
  Ref<ITypeLib> lib_;
  Ref<ITypeInfo> info_;
  TestObject obj_;
  VARIANT result_;
  EXCEPINFO excep_{};
  UINT argErr_ = 0;
};

TEST_F(TestInvoke, EveryScalarTypeArrivesByValue) {
  IDispatch* disp = &obj_;
  VARIANT cy, dec, d, v, dispV, unkV, b;
  VariantInit(&cy);
  cy.vt = VT_CY;
  cy.cyVal.int64 = 12345678;
  VariantInit(&dec);
  dec.decVal.Lo64 = 1500;
  dec.decVal.scale = 3;
  dec.decVal.sign = 0x80;
  dec.vt = VT_DECIMAL;
  VariantInit(&d);
  d.vt = VT_DATE;
  d.date = 37556.5;
  v = I4(77);
  VariantInit(&dispV);
  dispV.vt = VT_DISPATCH;
  dispV.pdispVal = disp;
  disp->AddRef();
  VariantInit(&unkV);
  unkV.vt = VT_UNKNOWN;
  unkV.punkVal = disp;
  disp->AddRef();
  VariantInit(&b);
  b.vt = VT_BOOL;
  b.boolVal = -1;
  VARIANT err;
  VariantInit(&err);
  err.vt = VT_ERROR;
  err.scode = static_cast<SCODE>(0x8007000E);
  Args args{I4(-2),     I4(100000),   R8(1.5),  R8(2.25), cy,        d,          Str(u"text"),
            b,          err,          I4(-5), I4(200),  I4(60000), Str(u"4000000000"), R8(-9e15),
            R8(1e15),   I4(-7),       I4(8),    dec,      v,         dispV,      unkV};
  ASSERT_EQ(Call(2, DISPATCH_METHOD, args), S_OK);
  const TestObject::Got& g = obj_.got;
  EXPECT_EQ(g.i2, -2);
  EXPECT_EQ(g.i4, 100000);
  EXPECT_EQ(g.r4, 1.5f);
  EXPECT_EQ(g.r8, 2.25);
  EXPECT_EQ(g.cy, 12345678);
  EXPECT_EQ(g.d, 37556.5);
  EXPECT_EQ(g.s, u"text");
  EXPECT_EQ(g.b, -1);
  EXPECT_EQ(static_cast<uint32_t>(g.e), 0x8007000Eu);
  EXPECT_EQ(g.i1, -5);
  EXPECT_EQ(g.u1, 200);
  EXPECT_EQ(g.u2, 60000);
  EXPECT_EQ(g.u4, 4000000000u);
  EXPECT_EQ(g.i8, -9000000000000000LL);
  EXPECT_EQ(g.u8, 1000000000000000ULL);
  EXPECT_EQ(g.i, -7);
  EXPECT_EQ(g.u, 8u);
  EXPECT_EQ(g.decLo, 1500u);
  EXPECT_EQ(g.decScale, 3);
  EXPECT_EQ(g.decSign, 0x80);
  EXPECT_EQ(g.vVt, VT_I4);
  EXPECT_EQ(g.vVal, 77);
  EXPECT_EQ(g.disp, disp);
  EXPECT_EQ(g.unk, static_cast<IUnknown*>(disp));
  EXPECT_EQ(result_.vt, VT_EMPTY);  // an HRESULT-only method yields nothing
  EXPECT_EQ(obj_.refCount, 3u);         // the args still hold their references
}

TEST_F(TestInvoke, OutParametersWriteBackThroughReferences) {
  LONG l = 0;
  BSTR s = nullptr;
  VARIANT v;
  VariantInit(&v);
  double d = 1.25;
  VARIANT refs[4];
  VARTYPE types[4] = {VT_BYREF | VT_I4, VT_BYREF | VT_BSTR, VT_BYREF | VT_VARIANT, VT_BYREF | VT_R8};
  void* ptrs[4] = {&l, &s, &v, &d};
  for (int k = 0; k < 4; ++k) {
    VariantInit(&refs[k]);
    refs[k].vt = types[k];
    refs[k].byref = ptrs[k];
  }
  Args args{refs[0], refs[1], refs[2], refs[3]};
  ASSERT_EQ(Call(3, DISPATCH_METHOD, args), S_OK);
  EXPECT_EQ(l, 42);
  EXPECT_EQ(std::u16string(s), u"out");
  EXPECT_EQ(v.vt, VT_I2);
  EXPECT_EQ(v.iVal, 7);
  EXPECT_EQ(d, 2.5);
  SysFreeString(s);
}

TEST_F(TestInvoke, OutParameterWithoutAReferenceIsATypeMismatch) {
  double d = 1;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_R8;
  ref.pdblVal = &d;
  LONG l = 0;
  VARIANT lref;
  VariantInit(&lref);
  lref.vt = VT_BYREF | VT_I4;
  lref.plVal = &l;
  Args args{lref, I4(1), I4(2), ref};  // the BSTR* out gets a plain long
  EXPECT_EQ(Call(3, DISPATCH_METHOD, args), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr_, 2u);  // rgvarg index of the second argument
  EXPECT_TRUE(obj_.calls.empty());
}

TEST_F(TestInvoke, InPointerParametersGetTheArgumentOrACoercedCopy) {
  Args args{I4(5), I4(31)};
  ASSERT_EQ(Call(12, DISPATCH_METHOD, args), S_OK);
  EXPECT_EQ(obj_.seenVt, VT_I4);     // VARIANT*: the caller's own VARIANT
  EXPECT_EQ(obj_.seenText, u"31");   // BSTR*: a coerced copy
}

TEST_F(TestInvoke, RetvalComesBackInTheResultAndArgumentsAreCoerced) {
  Args args{Str(u"ab"), Str(u" 3 ")};
  ASSERT_EQ(Call(4, DISPATCH_METHOD, args), S_OK);
  ASSERT_EQ(result_.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(result_.bstrVal), u"ababab");
}

TEST_F(TestInvoke, RetvalIsReleasedWhenTheCallerWantsNoResult) {
  Args args{Str(u"x"), I4(2)};
  ASSERT_EQ(info_->Invoke(static_cast<ITest*>(&obj_), 4, DISPATCH_METHOD, args.get(), nullptr, nullptr,
                          nullptr),
            S_OK);
  // TearDown finds no BSTR left alive.
}

TEST_F(TestInvoke, PropertyGetAndPut) {
  Args put{Str(u"12")};
  put.put();
  EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUT, put), S_OK);
  EXPECT_EQ(obj_.count, 12);
  EXPECT_EQ(result_.vt, VT_EMPTY);
  Args none{};
  EXPECT_EQ(Call(1, DISPATCH_PROPERTYGET, none), S_OK);
  EXPECT_EQ(result_.vt, VT_I4);
  EXPECT_EQ(result_.lVal, 12);
  EXPECT_EQ(Call(1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, none), S_OK);
  EXPECT_EQ(Call(1, DISPATCH_METHOD, none), DISP_E_MEMBERNOTFOUND);  // a get is not a method
  EXPECT_EQ(Call(2, DISPATCH_PROPERTYGET, none), DISP_E_MEMBERNOTFOUND);  // a method is not a get
  EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUTREF, put), DISP_E_MEMBERNOTFOUND);
}

TEST_F(TestInvoke, PutWithoutThePropertyPutNameIsParamNotFound) {
  Args unnamed{I4(3)};
  EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUT, unnamed), DISP_E_PARAMNOTFOUND);
  Args wrongName{I4(3)};
  wrongName.named({0});
  EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUT, wrongName), DISP_E_PARAMNOTFOUND);
  EXPECT_TRUE(obj_.calls.empty());
}

TEST_F(TestInvoke, GetWithExtraArgumentsOnAScalarIsNotACollection) {
  Args extra{I4(1)};
  EXPECT_EQ(Call(1, DISPATCH_PROPERTYGET, extra), DISP_E_NOTACOLLECTION);
}

TEST_F(TestInvoke, OptionalArgumentMayBeOmittedOrNamed) {
  Args omitted{I4(1)};
  ASSERT_EQ(Call(5, DISPATCH_METHOD, omitted), S_OK);
  EXPECT_EQ(result_.lVal, -1);  // VT_ERROR / DISP_E_PARAMNOTFOUND
  EXPECT_EQ(obj_.seenScode, DISP_E_PARAMNOTFOUND);  // also when passed by value as itself
  Args given{I4(1), Str(u"x")};
  ASSERT_EQ(Call(5, DISPATCH_METHOD, given), S_OK);
  EXPECT_EQ(result_.lVal, VT_BSTR);
  Args named{I4(4), Str(u"y")};  // a by position, b by name (rgvarg[0])
  named.named({1});
  ASSERT_EQ(Call(5, DISPATCH_METHOD, named), S_OK);
  EXPECT_EQ(result_.lVal, VT_BSTR);
}

TEST_F(TestInvoke, ArgumentCountsAndNames) {
  struct Row {
    const char* what;
    DISPID id;
    std::vector<LONG> args;
    std::vector<DISPID> names;
    HRESULT expected;
  };
  const Row rows[] = {
      {"too many", 7, {1, 2}, {}, DISP_E_BADPARAMCOUNT},
      {"too few", 4, {1}, {}, DISP_E_BADPARAMCOUNT},
      {"none for a method with one", 7, {}, {}, DISP_E_BADPARAMCOUNT},
      {"unknown named position", 7, {1}, {5}, DISP_E_PARAMNOTFOUND},
      {"named retval", 4, {1, 2}, {2}, DISP_E_PARAMNOTFOUND},
      {"required missing with names", 5, {1}, {1}, DISP_E_PARAMNOTOPTIONAL},
      {"named twice", 4, {1, 2}, {0, 0}, DISP_E_PARAMNOTFOUND},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    std::vector<VARIANT> v;
    for (LONG a : r.args) v.push_back(I4(a));
    DISPPARAMS dp = {v.empty() ? nullptr : v.data(), r.names.empty() ? nullptr : const_cast<DISPID*>(r.names.data()),
                     static_cast<UINT>(v.size()), static_cast<UINT>(r.names.size())};
    EXPECT_EQ(info_->Invoke(static_cast<ITest*>(&obj_), r.id, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr),
              r.expected);
  }
  EXPECT_TRUE(obj_.calls.empty());
}

TEST_F(TestInvoke, LcidParameterReceivesTheLibraryLocale) {
  Args args{I4(1)};
  ASSERT_EQ(Call(6, DISPATCH_METHOD, args), S_OK);
  EXPECT_EQ(result_.lVal, 0x0407 + 1);
}

TEST_F(TestInvoke, FailingSlotBecomesAnExceptionWithItsCode) {
  Args args{I4(static_cast<LONG>(0x80004005))};
  EXPECT_EQ(Call(7, DISPATCH_METHOD, args), DISP_E_EXCEPTION);
  EXPECT_EQ(static_cast<uint32_t>(excep_.scode), 0x80004005u);
  EXPECT_EQ(excep_.wCode, 0);
  EXPECT_EQ(result_.vt, VT_EMPTY);
  Args quiet{I4(-8302)};
  EXPECT_EQ(info_->Invoke(static_cast<ITest*>(&obj_), 7, DISPATCH_METHOD, quiet.get(), nullptr, nullptr, nullptr),
            DISP_E_EXCEPTION);
}

TEST_F(TestInvoke, CoercionFailureNamesTheArgument) {
  const struct {
    VARIANT arg;
    HRESULT expected;
  } rows[] = {
      {Str(u"abc"), DISP_E_TYPEMISMATCH},
      {Str(u"99999999999"), DISP_E_OVERFLOW},
      {R8(3e10), DISP_E_OVERFLOW},
  };
  for (const auto& r : rows) {
    Args args{Str(u"a"), r.arg};
    EXPECT_EQ(Call(4, DISPATCH_METHOD, args), r.expected);
    EXPECT_EQ(argErr_, 0u);  // rgvarg index: the last argument
  }
  EXPECT_TRUE(obj_.calls.empty());
}

TEST_F(TestInvoke, SafeArrayArgument) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 0, 3);
  for (LONG k = 0; k < 3; ++k) {
    LONG v = (k + 1) * 10;
    SafeArrayPutElement(a, &k, &v);
  }
  VARIANT arr;
  VariantInit(&arr);
  arr.vt = VT_ARRAY | VT_I4;
  arr.parray = a;
  Args args{arr};
  ASSERT_EQ(Call(8, DISPATCH_METHOD, args), S_OK);
  EXPECT_EQ(result_.lVal, 60);
}

TEST_F(TestInvoke, RestrictedMemberIsNotFound) {
  Args none{};
  EXPECT_EQ(Call(9, DISPATCH_METHOD, none), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(99, DISPATCH_METHOD, none), DISP_E_MEMBERNOTFOUND);
  EXPECT_TRUE(obj_.calls.empty());
}

TEST_F(TestInvoke, NonHresultResultIsTheValue) {
  Args args{I4(14)};
  ASSERT_EQ(Call(10, DISPATCH_METHOD, args), S_OK);
  EXPECT_EQ(result_.vt, VT_I4);
  EXPECT_EQ(result_.lVal, 42);
}

TEST_F(TestInvoke, InterfaceOfTheLibraryComesBackAsDispatch) {
  Args none{};
  ASSERT_EQ(Call(11, DISPATCH_METHOD, none), S_OK);
  ASSERT_EQ(result_.vt, VT_DISPATCH);
  EXPECT_EQ(result_.pdispVal, static_cast<IDispatch*>(&obj_));
  VariantClear(&result_);
  EXPECT_EQ(obj_.refCount, 1u);
}

TEST_F(TestInvoke, BadDispParamsAreInvalidArguments) {
  DISPPARAMS bad = {nullptr, nullptr, 2, 0};
  EXPECT_EQ(info_->Invoke(&obj_, 4, DISPATCH_METHOD, &bad, nullptr, nullptr, nullptr), E_INVALIDARG);
  DISPPARAMS moreNamed = {nullptr, nullptr, 0, 1};
  EXPECT_EQ(info_->Invoke(&obj_, 4, DISPATCH_METHOD, &moreNamed, nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(info_->Invoke(&obj_, 4, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(info_->Invoke(nullptr, 1, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr), E_INVALIDARG);
}

// A put whose only parameter is the locale has nowhere to take its value: a
// library holding one is refused when read, and Invoke, handed one built in
// memory all the same, refuses the call without writing outside its
// bookkeeping or reaching the object.
TEST(InvokeGuards, APutWithOnlyALocaleParameterIsRefusedEverywhere) {
  typelib::Library lib = CompileOrFail(kTestIdl);
  for (typelib::TypeEntry& t : lib.types)
    for (typelib::Func& f : t.funcs)
      if (f.name == "count" && f.invkind == typelib::kInvokePropertyPut) f.params[0].flags = typelib::kParamIn | typelib::kParamLcid;
  EXPECT_NE(typelib::CheckLibrary(lib).find("property put without a value"), std::string::npos);
  const std::vector<uint8_t> bytes = typelib::WriteLibrary(lib);
  Ref<ITypeLib> read;
  EXPECT_EQ(typelib::LoadTypeLibFromMemory(bytes.data(), bytes.size(), read.out()), TYPE_E_CANTLOADLIBRARY);

  Ref<ITypeLib> made(typelib::TypeLib::Create(lib));
  Ref<ITypeInfo> info;
  ASSERT_EQ(made->GetTypeInfo(0, info.out()), S_OK);
  TestObject obj;
  VARIANT values[2];
  for (VARIANT& v : values) {
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 5;
  }
  DISPID names[2] = {DISPID_PROPERTYPUT, 0};
  for (UINT given : {1u, 2u}) {  // the value alone, then one more named argument
    SCOPED_TRACE(given);
    DISPPARAMS dp = {values, names, given, given};
    EXPECT_EQ(info->Invoke(static_cast<ITest*>(&obj), 1, DISPATCH_PROPERTYPUT, &dp, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
  }
  EXPECT_TRUE(obj.calls.empty());
}

// ---- IMVComm over a fake object -------------------------------------------------

class FakeMVComm final : public IMVCommSlots {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT put_commport(SHORT v) override { return log("put_commport " + std::to_string(commport = v)); }
  HRESULT get_commport(SHORT* v) override { *v = commport; return log("get_commport"); }
  HRESULT put_bautrate(SHORT v) override { return log("put_bautrate " + std::to_string(v)); }
  HRESULT get_bautrate(SHORT* v) override { *v = 0; return log("get_bautrate"); }
  HRESULT get_errormessage(BSTR* v) override { *v = SysAllocString(u"Success"); return log("get_errormessage"); }
  HRESULT get_errorcode(LONG* v) override { *v = 20001; return log("get_errorcode"); }
  HRESULT get_rsrows(LONG* v) override { *v = 0; return log("get_rsrows"); }
  HRESULT get_rsemployeeid(LONG* v) override { *v = 0; return log("get_rsemployeeid"); }
  HRESULT get_rsworkclass(BSTR* v) override { *v = nullptr; return log("get_rsworkclass"); }
  HRESULT get_rscardedtime(DATE* v) override { *v = 0; return log("get_rscardedtime"); }
  HRESULT get_rtrows(LONG* v) override { *v = 0; return log("get_rtrows"); }
  HRESULT get_rtemployeeid(LONG* v) override { *v = 0; return log("get_rtemployeeid"); }
  HRESULT get_rtcardid(LONG* v) override { *v = 0; return log("get_rtcardid"); }
  HRESULT put_receivedatatimelapse(LONG v) override { return log("put_receivedatatimelapse " + std::to_string(v)); }
  HRESULT get_receivedatatimelapse(LONG* v) override { *v = 0; return log("get_receivedatatimelapse"); }
  HRESULT setclock(BSTR m, DATE c) override { return log("setclock " + text(m) + " " + date(c)); }
  HRESULT moverecord(LONG n, LONG f) override {
    return log("moverecord " + std::to_string(n) + " " + std::to_string(f));
  }
  HRESULT readdata(BSTR m, DATE s, DATE e) override { return log("readdata " + text(m) + " " + date(s) + " " + date(e)); }
  HRESULT cleardata(BSTR m) override {
    log("cleardata " + text(m));
    return -8302;
  }
  HRESULT rtbeginwrite(LONG n) override { return log("rtbeginwrite " + std::to_string(n)); }
  HRESULT rtwriterecord(LONG n, LONG e, LONG c) override {
    return log("rtwriterecord " + std::to_string(n) + " " + std::to_string(e) + " " + std::to_string(c));
  }
  HRESULT readrefertable(BSTR m) override { return log("readrefertable " + text(m)); }
  HRESULT writerefertable(BSTR m) override { return log("writerefertable " + text(m)); }

  std::vector<std::string> calls;
  SHORT commport = 0;

 private:
  HRESULT log(std::string s) {
    calls.push_back(std::move(s));
    return S_OK;
  }
  static std::string text(BSTR b) {
    std::string out;
    for (UINT i = 0; b && i < SysStringLen(b); ++i) out += static_cast<char>(b[i]);
    return out;
  }
  static std::string date(DATE d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", d);
    return buf;
  }
};

class MVCommInvoke : public ::testing::Test {
 protected:
  void SetUp() override {
    before_ = ole::LiveCounts::now();
    ASSERT_EQ(LoadFromIdl(ComponentIdl(), lib_.out()), S_OK);
    ASSERT_EQ(lib_->GetTypeInfo(0, info_.out()), S_OK);
    VariantInit(&result_);
  }
  void TearDown() override {
    VariantClear(&result_);
    EXPECT_EQ(ole::LiveCounts::now(), before_);
  }
  HRESULT Call(DISPID id, WORD flags, Args& args) {
    VariantClear(&result_);
    argErr_ = 9999;
    return info_->Invoke(static_cast<IMVCommSlots*>(&obj_), id, flags, args.get(), &result_, &excep_, &argErr_);
  }

  ole::LiveCounts before_;
  Ref<ITypeLib> lib_;
  Ref<ITypeInfo> info_;
  FakeMVComm obj_;
  VARIANT result_;
  EXCEPINFO excep_{};
  UINT argErr_ = 0;
};

TEST_F(MVCommInvoke, PutOnAReadOnlyPropertyNeverReachesTheObject) {
  for (DISPID id : {3, 4, 5, 6, 7, 8, 9, 10, 11}) {
    SCOPED_TRACE(id);
    Args put{I4(1)};
    put.put();
    EXPECT_EQ(Call(id, DISPATCH_PROPERTYPUT, put), DISP_E_MEMBERNOTFOUND);
  }
  EXPECT_TRUE(obj_.calls.empty());
}

TEST_F(MVCommInvoke, ReadWritePropertiesPutAndGet) {
  Args put{Str(u"3")};
  put.put();
  ASSERT_EQ(Call(1, DISPATCH_PROPERTYPUT, put), S_OK);
  Args none{};
  ASSERT_EQ(Call(1, DISPATCH_PROPERTYGET, none), S_OK);
  EXPECT_EQ(result_.vt, VT_I2);
  EXPECT_EQ(result_.iVal, 3);
  Args rate{I4(9600)};
  rate.put();
  ASSERT_EQ(Call(2, DISPATCH_PROPERTYPUT, rate), S_OK);
  Args lapse{I4(5000)};
  lapse.put();
  ASSERT_EQ(Call(12, DISPATCH_PROPERTYPUT, lapse), S_OK);
  EXPECT_EQ(obj_.calls, (std::vector<std::string>{"put_commport 3", "get_commport", "put_bautrate 9600",
                                                   "put_receivedatatimelapse 5000"}));
}

TEST_F(MVCommInvoke, ReaddataWithTwoArgumentsIsABadCount) {
  Args two{Str(u"5"), R8(37000)};
  EXPECT_EQ(Call(15, DISPATCH_METHOD, two), DISP_E_BADPARAMCOUNT);
  EXPECT_TRUE(obj_.calls.empty());
}

TEST_F(MVCommInvoke, ArgumentsArriveInDeclarationOrder) {
  Args args{Str(u"5"), Str(u"2002-10-27 14:30:00"), R8(37557)};
  ASSERT_EQ(Call(15, DISPATCH_METHOD, args), S_OK);
  ASSERT_EQ(obj_.calls.size(), 1u);
  EXPECT_EQ(obj_.calls[0], "readdata 5 37556.604167 37557.000000");
}

TEST_F(MVCommInvoke, StringNumrecordArrivesAsInteger) {
  Args args{Str(u"3"), I4(1)};
  ASSERT_EQ(Call(14, DISPATCH_METHOD, args), S_OK);
  Args three{I4(1), R8(2), Str(u"3")};
  ASSERT_EQ(Call(18, DISPATCH_METHOD, three), S_OK);
  EXPECT_EQ(obj_.calls, (std::vector<std::string>{"moverecord 3 1", "rtwriterecord 1 2 3"}));
}

TEST_F(MVCommInvoke, ComponentStatusComesBackAsException) {
  Args args{I4(5)};  // the terminal number as a number: coerced to BSTR "5"
  EXPECT_EQ(Call(16, DISPATCH_METHOD, args), DISP_E_EXCEPTION);
  EXPECT_EQ(static_cast<uint32_t>(excep_.scode), 0xFFFFDF92u);
  EXPECT_EQ(obj_.calls, (std::vector<std::string>{"cleardata 5"}));
}

TEST_F(MVCommInvoke, NamesResolveThroughTheSameTypeInfo) {
  LPOLESTR name = const_cast<LPOLESTR>(u"COMMPORT");
  MEMBERID id = 0;
  EXPECT_EQ(info_->GetIDsOfNames(&name, 1, &id), S_OK);
  EXPECT_EQ(id, 1);
}

TEST_F(MVCommInvoke, StringPropertyIsHandedToTheCaller) {
  Args none{};
  ASSERT_EQ(Call(3, DISPATCH_PROPERTYGET, none), S_OK);
  ASSERT_EQ(result_.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(result_.bstrVal), u"Success");
}

}  // namespace
}  // namespace mvcomm::testing
