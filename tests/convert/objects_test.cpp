// File: tests/convert/objects_test.cpp
//
// Decimals, blobs and object references.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/convert/convert_test_support.h"

namespace mvcomm::convert::test {
namespace {

// ---- decimals -----------------------------------------------------------------

class Decimals : public ConvertFixture {
 protected:
  Ref<vm::IVMDecimal> decimal(double value) {
    Ref<vm::IVMDecimal> d;
    EXPECT_EQ(conv_.DoubleToVMDecimal(d.out(), value), 0);
    return d;
  }
};

TEST_F(Decimals, IntoVariantByValueAndByReference) {
  auto d = decimal(12.5);
  Var v;
  v.vt = VT_BSTR;
  v.bstrVal = bstrOf(u"gone");
  ASSERT_EQ(conv_.VMDecimalToVariant(&v, d.get()), 0);
  EXPECT_EQ(v.vt, VT_DECIMAL);
  double back = 0;
  ASSERT_EQ(VarR8FromDec(&v.decVal, &back), S_OK);
  EXPECT_EQ(back, 12.5);

  double slot = 0;
  VARIANT ref{};
  ref.vt = VT_BYREF | VT_R8;
  ref.pdblVal = &slot;
  ASSERT_EQ(conv_.VMDecimalToVariant(&ref, d.get()), 0);
  EXPECT_EQ(slot, 12.5);
  EXPECT_EQ(ref.vt, 0x4005);

  DECIMAL dec{};
  ref.vt = VT_BYREF | VT_DECIMAL;
  ref.pdecVal = &dec;
  ASSERT_EQ(conv_.VMDecimalToVariant(&ref, d.get()), 0);
  EXPECT_EQ(ref.vt, 0x400E);
  ASSERT_EQ(VarR8FromDec(&dec, &back), S_OK);
  EXPECT_EQ(back, 12.5);

  // Sixteen bytes never go through a reference to a long.
  LONG small[2] = {1, 2};
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = small;
  EXPECT_EQ(conv_.VMDecimalToVariant(&ref, d.get()), kPbcomErrBadArgument);
  EXPECT_EQ(ref.vt, VT_BYREF | VT_I4);
  EXPECT_EQ(small[1], 2);
}

TEST_F(Decimals, ADoubleNoDecimalHoldsLeavesTheVariant) {
  auto d = decimal(1e300);
  Var v;
  v.vt = VT_I4;
  v.lVal = 8;
  EXPECT_EQ(conv_.VMDecimalToVariant(&v, d.get()), DISP_E_OVERFLOW);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 8);
}

TEST_F(Decimals, FromVariantsAndDoubles) {
  Var v;
  ASSERT_EQ(VarDecFromR8(0.1, &v.decVal), S_OK);
  v.vt = VT_DECIMAL;
  Ref<vm::IVMDecimal> d;
  ASSERT_EQ(conv_.VariantToVMDecimal(d.out(), &v), 0);
  double value = 0;
  EXPECT_EQ(conv_.VMDecimalToDouble(&value, d.get()), 0);
  EXPECT_EQ(value, 0.1);
  const double two = 2.0;
  ASSERT_EQ(conv_.DoubleRefToVMDecimal(d.out(), &two), 0);
  EXPECT_EQ(conv_.VMDecimalToDouble(&value, d.get()), 0);
  EXPECT_EQ(value, 2.0);
  Var null;
  null.vt = VT_NULL;
  EXPECT_EQ(conv_.VariantToVMDecimal(d.out(), &null), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(d.get(), nullptr);
  // A value the VM refuses: the empty decimal stays with the caller.
  EXPECT_EQ(conv_.DoubleToVMDecimal(d.out(), std::nan("")), vm::kVmErrOutOfRange);
  EXPECT_NE(d.get(), nullptr);
  EXPECT_EQ(conv_.DoubleRefToVMDecimal(d.out(), nullptr), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.VMDecimalToDouble(nullptr, nullptr), kPbcomErrBadArgument);
}

// ---- blobs --------------------------------------------------------------------

SAFEARRAY* byteArray(LONG lower, std::vector<uint8_t> bytes) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(bytes.size()), lower};
  SAFEARRAY* psa = SafeArrayCreate(VT_UI1, 1, &bound);
  for (LONG i = 0; i < static_cast<LONG>(bytes.size()); ++i) {
    LONG index = lower + i;
    SafeArrayPutElement(psa, &index, &bytes[i]);
  }
  return psa;
}

std::vector<uint8_t> bytesOf(SAFEARRAY* psa) {
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(psa, 1, &lower);
  SafeArrayGetUBound(psa, 1, &upper);
  std::vector<uint8_t> out;
  for (LONG i = lower; i <= upper; ++i) {
    uint8_t b = 0;
    SafeArrayGetElement(psa, &i, &b);
    out.push_back(b);
  }
  return out;
}

class Blobs : public ConvertFixture {
 protected:
  Ref<vm::IVMBlob> blob(std::vector<uint8_t> bytes) {
    Ref<vm::IVMBlob> b;
    EXPECT_EQ(vm::vmMakeBlob(static_cast<int32_t>(bytes.size()), bytes.data(), b.out()), 0);
    return b;
  }
  std::vector<uint8_t> contents(vm::IVMBlob* b) {
    int32_t length = 0;
    const uint8_t* bytes = nullptr;
    b->length(&length);
    b->bytes(&bytes);
    return std::vector<uint8_t>(bytes, bytes + length);
  }
};

TEST_F(Blobs, FromByteArraysOnly) {
  SAFEARRAY* psa = byteArray(5, {7, 8, 9});
  Ref<vm::IVMBlob> b;
  ASSERT_EQ(conv_.SafeArrayToVMBlob(b.out(), &psa), 0);
  EXPECT_EQ(contents(b.get()), (std::vector<uint8_t>{7, 8, 9}));
  EXPECT_EQ(psa->cLocks, 0u);  // data access ended

  // The same through VARIANTs: by value, by reference, by reference to a VARIANT.
  Var v;
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = psa;
  ASSERT_EQ(conv_.VariantToVMBlob(b.out(), &v), 0);
  EXPECT_EQ(contents(b.get()).size(), 3u);
  VARIANT byRef{};
  byRef.vt = VT_BYREF | VT_ARRAY | VT_UI1;
  byRef.pparray = &v.parray;
  ASSERT_EQ(conv_.VariantToVMBlob(b.out(), &byRef), 0);
  EXPECT_EQ(contents(b.get()).size(), 3u);
  VARIANT outer{};
  outer.vt = VT_BYREF | VT_VARIANT;
  outer.pvarVal = &v;
  ASSERT_EQ(conv_.VariantToVMBlob(b.out(), &outer), 0);
  EXPECT_EQ(contents(b.get()), (std::vector<uint8_t>{7, 8, 9}));
  // A reference to a VARIANT that refers to itself is refused, not followed.
  VARIANT loop{};
  loop.vt = VT_BYREF | VT_VARIANT;
  loop.pvarVal = &loop;
  EXPECT_EQ(conv_.VariantToVMBlob(b.out(), &loop), kPbcomErrBadArgument);
  Var number;
  number.vt = VT_I4;
  EXPECT_EQ(conv_.VariantToVMBlob(b.out(), &number), kPbcomErrBadArgument);

  SAFEARRAYBOUND two[2] = {{2, 0}, {2, 0}};
  SAFEARRAY* square = SafeArrayCreate(VT_UI1, 2, two);
  EXPECT_EQ(conv_.SafeArrayToVMBlob(b.out(), &square), kPbcomErrBadArgument);
  SafeArrayDestroy(square);
  SAFEARRAYBOUND one{3, 0};
  SAFEARRAY* words = SafeArrayCreate(VT_I2, 1, &one);
  EXPECT_EQ(conv_.SafeArrayToVMBlob(b.out(), &words), kPbcomErrBadArgument);
  SafeArrayDestroy(words);
  SAFEARRAY* none = nullptr;
  EXPECT_EQ(conv_.SafeArrayToVMBlob(b.out(), &none), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.SafeArrayToVMBlob(b.out(), nullptr), kPbcomErrBadArgument);
}

TEST_F(Blobs, IntoNewAndExistingByteArrays) {
  auto b = blob({1, 2, 3, 4});
  SAFEARRAY* made = nullptr;
  ASSERT_EQ(conv_.VMBlobToSafeArray(&made, b.get()), 0);
  ASSERT_NE(made, nullptr);
  VARTYPE vt = 0;
  SafeArrayGetVartype(made, &vt);
  EXPECT_EQ(vt, VT_UI1);
  EXPECT_EQ(bytesOf(made), (std::vector<uint8_t>{1, 2, 3, 4}));
  SafeArrayDestroy(made);

  SAFEARRAY* existing = byteArray(0, std::vector<uint8_t>(10, 0xAA));
  ASSERT_EQ(conv_.VMBlobToSafeArray(&existing, b.get()), 0);
  LONG upper = 0;
  SafeArrayGetUBound(existing, 1, &upper);
  EXPECT_EQ(upper, 3);
  EXPECT_EQ(bytesOf(existing), (std::vector<uint8_t>{1, 2, 3, 4}));

  // An empty blob changes nothing.
  Ref<vm::IVMBlob> empty;
  ASSERT_EQ(vm::vmMakeBlob(0, nullptr, empty.out()), 0);
  SAFEARRAY* kept = existing;
  EXPECT_EQ(conv_.VMBlobToSafeArray(&existing, empty.get()), kPbcomErrBadArgument);
  EXPECT_EQ(existing, kept);
  EXPECT_EQ(bytesOf(existing).size(), 4u);
  SafeArrayDestroy(existing);
}

TEST_F(Blobs, ExistingArraysOfWiderElementsAreRefused) {
  auto b = blob({1, 2, 3, 4});
  SAFEARRAYBOUND bound{2, 0};
  for (VARTYPE vt : {VT_I2, VT_I4, VT_BSTR, VT_VARIANT}) {
    SCOPED_TRACE(vt);
    SAFEARRAY* psa = SafeArrayCreate(vt, 1, &bound);
    SAFEARRAY* kept = psa;
    EXPECT_EQ(conv_.VMBlobToSafeArray(&psa, b.get()), kPbcomErrBadArgument);
    EXPECT_EQ(psa, kept);
    LONG upper = 0;
    SafeArrayGetUBound(psa, 1, &upper);
    EXPECT_EQ(upper, 1);
    Var v;
    v.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    v.parray = psa;
    EXPECT_EQ(conv_.VMBlobToVariant(&v, b.get()), kPbcomErrBadArgument);
  }
}

TEST_F(Blobs, IntoVariantsThatHoldAnArray) {
  auto b = blob({5, 6});
  Var v;
  EXPECT_EQ(conv_.VMBlobToVariant(&v, b.get()), kPbcomErrBadArgument);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = byteArray(3, {0, 0, 0, 0, 0});
  ASSERT_EQ(conv_.VMBlobToVariant(&v, b.get()), 0);
  EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(bytesOf(v.parray), (std::vector<uint8_t>{5, 6}));
  VARIANT byRef{};
  byRef.vt = VT_BYREF | VT_ARRAY | VT_UI1;
  byRef.pparray = &v.parray;
  auto c = blob({9});
  ASSERT_EQ(conv_.VMBlobToVariant(&byRef, c.get()), 0);
  EXPECT_EQ(bytesOf(v.parray), (std::vector<uint8_t>{9}));
  VARIANT outer{};
  outer.vt = VT_BYREF | VT_VARIANT;
  outer.pvarVal = &v;
  EXPECT_EQ(conv_.VMBlobToVariant(&outer, b.get()), E_FAIL);
}

// ---- object references --------------------------------------------------------------

// A dispatch object that counts its references.
struct CountedDispatch : IDispatch {
  ULONG refs = 1;
  HRESULT QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

// A VM object whose automation interface is a CountedDispatch.
struct FakeVMObject : vm::IVMObject {
  ULONG refs = 1;
  CountedDispatch automation;
  HRESULT QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (IsEqualGUID(iid, vm::IID_IVMObject)) {
      *out = static_cast<vm::IVMObject*>(this);
      AddRef();
      return S_OK;
    }
    if (IsEqualGUID(iid, vm::IID_IVMAutomation)) {
      *out = static_cast<IDispatch*>(&automation);
      automation.AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  int32_t getVariable(vm::IVMString*, vm::IVMValue**) override { return -1; }
  int32_t setVariable(vm::IVMString*, vm::IVMValue*) override { return -1; }
  int32_t callFunction(vm::IVMString*, vm::IVMArgument* const*, int32_t, vm::IVMValue**,
                       IUnknown**, uint32_t*) override {
    return -1;
  }
  int32_t className(vm::IVMString**) override { return -1; }
  int32_t session(vm::IVMSession**) override { return -1; }
  int32_t variableType(vm::IVMString*, int32_t*, int32_t*) override { return -1; }
  int32_t functionSignature(vm::IVMString*, int32_t*, int32_t*) override { return -1; }
  int32_t valueContext(vm::IVMValueContext**) override { return -1; }
};

TEST(ObjectReferences, VMObjectToVariantHandsOverOneReference) {
  PBCOMTypeConverter conv;
  FakeVMObject object;
  {
    Var v;
    ASSERT_EQ(conv.VMObjectToVariant(&v, &object), 0);
    EXPECT_EQ(v.vt, VT_DISPATCH);
    EXPECT_EQ(v.pdispVal, static_cast<IDispatch*>(&object.automation));
    EXPECT_EQ(object.automation.refs, 2u);
  }
  EXPECT_EQ(object.automation.refs, 1u);  // clearing released exactly that one
  EXPECT_EQ(object.refs, 1u);

  IDispatch* held = nullptr;
  VARIANT ref{};
  ref.vt = VT_BYREF | VT_DISPATCH;
  ref.ppdispVal = &held;
  ASSERT_EQ(conv.VMObjectToVariant(&ref, &object), 0);
  EXPECT_EQ(held, static_cast<IDispatch*>(&object.automation));
  held->Release();
  // A reference to something else takes nothing and keeps nothing.
  LONG number = 0;
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &number;
  EXPECT_EQ(conv.VMObjectToVariant(&ref, &object), kPbcomErrBadArgument);
  EXPECT_EQ(object.automation.refs, 1u);
}

TEST(ObjectReferences, UnknownToVMObjectAsksForTheVMObjectInterface) {
  PBCOMTypeConverter conv;
  FakeVMObject object;
  vm::IVMObject* out = nullptr;
  ASSERT_EQ(conv.UnknownToVMObject(&out, &object), S_OK);
  EXPECT_EQ(out, &object);
  EXPECT_EQ(object.refs, 2u);
  out->Release();
  IUnknown* unknown = &object;
  ASSERT_EQ(conv.UnknownRefToVMObject(&out, &unknown), S_OK);
  out->Release();

  CountedDispatch stranger;
  out = reinterpret_cast<vm::IVMObject*>(&stranger);
  EXPECT_EQ(conv.UnknownToVMObject(&out, &stranger), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  // Through a VT_DISPATCH VARIANT: the temporary's reference is given back.
  Var v;
  v.vt = VT_DISPATCH;
  v.pdispVal = &object.automation;
  object.automation.AddRef();
  IDispatch* d = nullptr;
  EXPECT_EQ(conv.VariantToVMObject(&out, &v), E_NOINTERFACE);  // the automation side is no VM object
  EXPECT_EQ(object.automation.refs, 2u);
  EXPECT_EQ(conv.VMObjectToDispatch(&d, &object), S_OK);
  EXPECT_EQ(d, static_cast<IDispatch*>(&object.automation));
  d->Release();
  EXPECT_EQ(conv.UnknownToVMObject(nullptr, &object), kPbcomErrBadArgument);
  EXPECT_EQ(conv.VMObjectToDispatch(&d, nullptr), kPbcomErrBadArgument);
}

TEST_F(Decimals, RealVMObjectAnswersTheVMObjectInterface) {
  vm::IVMObject* out = nullptr;
  ASSERT_EQ(conv_.UnknownToVMObject(&out, object_.get()), S_OK);
  EXPECT_EQ(out, object_.get());
  out->Release();
}

}  // namespace
}  // namespace mvcomm::convert::test
