// File: tests/vm/vm_automation_test.cpp
//
// The automation interface of VM objects: names to dispatch identifiers,
// property get and put, method calls with coerced arguments, and the
// failures a late-bound client meets.

#include "platform/ole/code_page.h"
#include "platform/ole/oleauto.h"
#include "tests/vm/vm_test_support.h"

namespace mvcomm::vm::test {
namespace {

class AutomationTest : public VmFixture {
 protected:
  void SetUp() override {
    VmFixture::SetUp();
    ASSERT_EQ(object_->QueryInterface(IID_IVMAutomation, reinterpret_cast<void**>(&dispatch_)), S_OK);
  }
  void TearDown() override {
    if (dispatch_) dispatch_->Release();
    VmFixture::TearDown();
  }
  DISPID id(const char16_t* member) {
    LPOLESTR names[1] = {const_cast<LPOLESTR>(member)};
    DISPID out = 0;
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names, 1, 0, &out), S_OK);
    return out;
  }
  // Arguments in call order; reversed as automation passes them.
  HRESULT call(const char16_t* member, WORD flags, std::vector<VARIANT> args, VARIANT* result,
               UINT* argErr = nullptr, bool put = false) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{reversed.data(), put ? &named : nullptr, static_cast<UINT>(reversed.size()),
                 put ? 1u : 0u};
    EXCEPINFO excep{};
    HRESULT hr = dispatch_->Invoke(id(member), IID_NULL, 0, flags, &p, result, &excep, argErr);
    lastScode_ = excep.scode;
    for (auto& v : args) VariantClear(&v);
    return hr;
  }
  static VARIANT i4(LONG v) {
    VARIANT x;
    VariantInit(&x);
    V_VT(&x) = VT_I4;
    V_I4(&x) = v;
    return x;
  }
  static VARIANT text(const char16_t* s) {
    VARIANT x;
    VariantInit(&x);
    V_VT(&x) = VT_BSTR;
    V_BSTR(&x) = SysAllocString(s);
    return x;
  }

  IVMAutomation* dispatch_ = nullptr;
  SCODE lastScode_ = 0;
};

TEST_F(AutomationTest, NamesResolveInAnyCaseToVariablesAndFunctions) {
  EXPECT_EQ(id(u"AI_COUNT"), id(u"ai_count"));
  EXPECT_NE(id(u"of_add"), id(u"ai_count"));
  LPOLESTR names[2] = {const_cast<LPOLESTR>(u"nothing"), const_cast<LPOLESTR>(u"x")};
  DISPID ids[2] = {0, 0};
  EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  Ref<IDispatch> same;
  EXPECT_EQ(dispatch_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(same.out())), S_OK);
  Ref<IVMObject> back;
  ASSERT_EQ(same->QueryInterface(IID_IVMObject, reinterpret_cast<void**>(back.out())), S_OK);
  EXPECT_EQ(back.get(), object_.get()) << "the dispatch side leads back to its object";
  UINT count = 9;
  EXPECT_EQ(dispatch_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

TEST_F(AutomationTest, PropertiesGetAndPutWithCoercionAndRefuseReadOnlyPuts) {
  VARIANT r;
  VariantInit(&r);
  ASSERT_EQ(call(u"ai_count", DISPATCH_PROPERTYPUT, {text(u"3")}, nullptr, nullptr, true), S_OK);
  ASSERT_EQ(call(u"ai_count", DISPATCH_PROPERTYGET, {}, &r), S_OK);
  EXPECT_EQ(V_VT(&r), VT_I2);
  EXPECT_EQ(V_I2(&r), 3);

  struct Case {
    const char16_t* member;
    bool named;          // the DISPID_PROPERTYPUT named argument given
    HRESULT want;
  };
  const Case kCases[] = {
      {u"al_total", true, DISP_E_MEMBERNOTFOUND},   // read-only
      {u"ai_count", false, DISP_E_PARAMNOTFOUND},   // put without its named argument
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.want));
    EXPECT_EQ(call(c.member, DISPATCH_PROPERTYPUT, {i4(1)}, nullptr, nullptr, c.named), c.want);
  }
  UINT argErr = 99;
  EXPECT_EQ(call(u"ai_count", DISPATCH_PROPERTYPUT, {i4(70000)}, nullptr, &argErr, true), DISP_E_OVERFLOW);
  EXPECT_EQ(argErr, 0u);
  ASSERT_EQ(call(u"ai_count", DISPATCH_PROPERTYGET, {}, &r), S_OK);
  EXPECT_EQ(V_I2(&r), 3) << "a refused put leaves the variable as it was";
  EXPECT_EQ(call(u"ai_count", DISPATCH_METHOD, {}, &r), DISP_E_MEMBERNOTFOUND);
  VariantClear(&r);
}

// VM text is in the process's narrow code page, as the converters keep it:
// strict UTF-8 by default (no overlong forms, no lead bytes past F4), or the
// page MVCOMM_CODEPAGE names.
TEST_F(AutomationTest, TextCrossesInTheProcessCodePage) {
  struct Case {
    const char* page;
    std::string narrow;       // what the VM holds
    std::u16string wide;      // what automation sees
  };
  const Case cases[] = {
      {"UTF-8", "w\xC3\xB6rld", u"w\u00f6rld"},
      {"UTF-8", "ab\xC0\xAF" "cd", u"ab"},            // an overlong '/' is no UTF-8: text stops there
      {"UTF-8", "x\xF5\x80\x80\x80y", u"x"},         // nor a lead byte past F4
      {"UTF-8", "x\xED\xA0\x80y", u"x"},              // nor a surrogate
      {"CP936", "\xD6\xD0\xCE\xC4", u"\u4e2d\u6587"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.narrow);
    ASSERT_TRUE(ole::setCodePage(c.page));
    auto label = name("as_label");
    auto text = name(c.narrow.c_str());
    Ref<IVMValue> v = makeValue(kTypeString);
    ASSERT_EQ(v->setString(text.get()), kVmOk);
    ASSERT_EQ(object_->setVariable(label.get(), v.get()), kVmOk);
    VARIANT r;
    VariantInit(&r);
    ASSERT_EQ(call(u"as_label", DISPATCH_PROPERTYGET, {}, &r), S_OK);
    ASSERT_EQ(V_VT(&r), VT_BSTR);
    EXPECT_EQ(std::u16string(V_BSTR(&r), SysStringLen(V_BSTR(&r))), c.wide);
    VariantClear(&r);
  }
  // And back: a put under CP936 stores the page's bytes.
  ASSERT_EQ(call(u"as_label", DISPATCH_PROPERTYPUT, {text(u"\u4e2d\u6587")}, nullptr, nullptr, true), S_OK);
  auto label = name("as_label");
  Ref<IVMValue> back;
  ASSERT_EQ(object_->getVariable(label.get(), back.out()), kVmOk);
  Ref<IVMString> stored;
  ASSERT_EQ(back->getString(stored.out()), kVmOk);
  const char* bytes = nullptr;
  ASSERT_EQ(stored->text(&bytes), kVmOk);
  EXPECT_EQ(std::string(bytes), "\xD6\xD0\xCE\xC4");
  ASSERT_TRUE(ole::setCodePage("UTF-8"));
}

TEST_F(AutomationTest, MethodsTakeCoercedArgumentsInOrderAndReturnTheirResult) {
  VARIANT r;
  VariantInit(&r);
  ASSERT_EQ(call(u"of_add", DISPATCH_METHOD, {i4(40), text(u"2")}, &r), S_OK);
  EXPECT_EQ(V_VT(&r), VT_I4);
  EXPECT_EQ(V_I4(&r), 42);
  ASSERT_EQ(call(u"of_greet", DISPATCH_METHOD, {text(u"w\u00f6rld \U0001F600")}, &r), S_OK);
  ASSERT_EQ(V_VT(&r), VT_BSTR);
  EXPECT_EQ(std::u16string(V_BSTR(&r)), u"hello w\u00f6rld \U0001F600") << "text survives the narrow side";
  VariantClear(&r);

  UINT argErr = 99;
  EXPECT_EQ(call(u"of_add", DISPATCH_METHOD, {i4(1), text(u"abc")}, &r, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u) << "the second argument sits first in rgvarg";
  EXPECT_EQ(call(u"of_add", DISPATCH_METHOD, {i4(1)}, &r), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(call(u"of_add", DISPATCH_PROPERTYGET, {i4(1), i4(2)}, &r), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(call(u"of_fail", DISPATCH_METHOD, {}, &r), DISP_E_EXCEPTION);
  EXPECT_EQ(lastScode_, -42);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(dispatch_->Invoke(0x7777, IID_NULL, 0, DISPATCH_METHOD, &none, &r, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(dispatch_->Invoke(id(u"of_touch"), IID_NULL, 0, DISPATCH_METHOD, nullptr, &r, nullptr, nullptr),
            E_INVALIDARG);
}

}  // namespace
}  // namespace mvcomm::vm::test
