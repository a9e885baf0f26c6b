// File: tests/component/late_binding_test.cpp
//
// Late-bound calls through IDispatch agree with the early-bound slots, and
// the type information refuses what the interface does not offer before any
// slot runs.

#include "tests/component/component_fixture.h"
#include "tests/component/dispatch_helpers.h"

namespace mvcomm::component::testing {
namespace {

using LateBinding = ComponentTest;

TEST_F(LateBinding, PropertyPutsByNameAreSeenByEarlyGets) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(invoke(object, u"commport", DISPATCH_PROPERTYPUT, {i2(-1)}, nullptr), S_OK);
  EXPECT_EQ(invoke(object, u"BautRate", DISPATCH_PROPERTYPUT, {i2(9600)}, nullptr), S_OK);
  EXPECT_EQ(invoke(object, u"receivedatatimelapse", DISPATCH_PROPERTYPUT, {i4(1234)}, nullptr), S_OK);
  SHORT port = 0;
  SHORT baud = 0;
  LONG lapse = 0;
  EXPECT_EQ(object->get_commport(&port), S_OK);
  EXPECT_EQ(object->get_bautrate(&baud), S_OK);
  EXPECT_EQ(object->get_receivedatatimelapse(&lapse), S_OK);
  EXPECT_EQ(port, -1) << "sign-widened on the way in";
  EXPECT_EQ(baud, 9600);
  EXPECT_EQ(lapse, 1234);
  object->Release();
}

TEST_F(LateBinding, EveryPropertyGetAgreesWithItsSlot) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  ASSERT_EQ(object->rtbeginwrite(2), S_OK);
  ASSERT_EQ(object->rtwriterecord(1, 77, 4242), S_OK);
  ASSERT_EQ(object->moverecord(1, 2), S_OK);  // select table row 1
  struct Case {
    const char16_t* name;
    VARTYPE vt;
    LONG early;
  };
  SHORT s = 0;
  LONG rtrows = 0, rtemp = 0, rtcard = 0, code = 0, rsrows = 0, rsemp = 0, lapse = 0;
  ASSERT_EQ(object->get_commport(&s), S_OK);
  ASSERT_EQ(object->get_rtrows(&rtrows), S_OK);
  ASSERT_EQ(object->get_rtemployeeid(&rtemp), S_OK);
  ASSERT_EQ(object->get_rtcardid(&rtcard), S_OK);
  ASSERT_EQ(object->get_errorcode(&code), S_OK);
  ASSERT_EQ(object->get_rsrows(&rsrows), S_OK);
  ASSERT_EQ(object->get_rsemployeeid(&rsemp), S_OK);
  ASSERT_EQ(object->get_receivedatatimelapse(&lapse), S_OK);
  EXPECT_EQ(rtemp, 77);
  EXPECT_EQ(rtcard, 4242);
  const Case cases[] = {
      {u"commport", VT_I2, s},        {u"rtrows", VT_I4, rtrows},  {u"rtemployeeid", VT_I4, rtemp},
      {u"rtcardid", VT_I4, rtcard},   {u"errorcode", VT_I4, code}, {u"rsrows", VT_I4, rsrows},
      {u"rsemployeeid", VT_I4, rsemp}, {u"receivedatatimelapse", VT_I4, lapse},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.name[0]) << static_cast<int>(c.name[2]));
    VARIANT r;
    VariantInit(&r);
    ASSERT_EQ(invoke(object, c.name, DISPATCH_PROPERTYGET, {}, &r), S_OK);
    EXPECT_EQ(r.vt, c.vt);
    EXPECT_EQ(c.vt == VT_I2 ? r.iVal : r.lVal, c.early);
  }

  BSTR early = nullptr;
  ASSERT_EQ(object->get_errormessage(&early), S_OK);
  VARIANT late;
  VariantInit(&late);
  ASSERT_EQ(invoke(object, u"errormessage", DISPATCH_PROPERTYGET, {}, &late), S_OK);
  ASSERT_EQ(late.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(late.bstrVal), std::u16string(early));
  SysFreeString(early);
  VariantClear(&late);

  DATE when = -1;
  ASSERT_EQ(object->get_rscardedtime(&when), S_OK);
  ASSERT_EQ(invoke(object, u"rscardedtime", DISPATCH_PROPERTYGET, {}, &late), S_OK);
  EXPECT_EQ(late.vt, VT_DATE);
  EXPECT_EQ(late.date, when);
  object->Release();
}

TEST_F(LateBinding, MethodArgumentsAreCoercedToTheDeclaredTypes) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  Bstr two(u"2");
  EXPECT_EQ(invoke(object, u"rtbeginwrite", DISPATCH_METHOD, {bstr(two.get())}, nullptr), S_OK);
  EXPECT_EQ(invoke(object, u"rtwriterecord", DISPATCH_METHOD, {i4(0), i4(-1), i4(2147483647)}, nullptr),
            S_OK);
  EXPECT_EQ(invoke(object, u"rtwriterecord", DISPATCH_METHOD, {i4(2), i4(-1), i4(2147483647)}, nullptr),
            S_OK);
  EXPECT_EQ(invoke(object, u"moverecord", DISPATCH_METHOD, {bstr(two.get()), i4(2)}, nullptr), S_OK);
  LONG rows = 0, emp = 0, card = 0;
  EXPECT_EQ(object->get_rtrows(&rows), S_OK);
  EXPECT_EQ(object->get_rtemployeeid(&emp), S_OK);
  EXPECT_EQ(object->get_rtcardid(&card), S_OK);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(emp, -1) << "32-bit values pass unchanged";
  EXPECT_EQ(card, 2147483647);
  object->Release();
}

TEST_F(LateBinding, TypeInformationRefusesWhatTheInterfaceLacks) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  const int64_t before = vm::testing::liveTotal();
  Bstr five(u"5");
  EXPECT_EQ(invoke(object, u"errorcode", DISPATCH_PROPERTYPUT, {i4(1)}, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(invoke(object, u"readdata", DISPATCH_METHOD, {bstr(five.get()), date(37556)}, nullptr),
            DISP_E_BADPARAMCOUNT);
  DISPID id = 0;
  EXPECT_EQ(dispidOf(object, u"nosuchmember", &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(vm::testing::liveTotal(), before) << "no slot ran";
  LONG code = -1;
  EXPECT_EQ(object->get_errorcode(&code), S_OK);
  EXPECT_EQ(code, 0);
  object->Release();
}

TEST_F(LateBinding, FailureStatusOfASlotReachesTheLateBoundCaller) {
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  HRESULT hr = S_OK;
  EXCEPINFO info{};
  {
    vm::testing::ScopedFailure fail(1, -77, vm::Op::ObjectCallFunction);
    hr = invoke(object, u"moverecord", DISPATCH_METHOD, {i4(1), i4(1)}, nullptr, &info);
  }
  // Invoke reports a failing slot as an exception carrying the slot's status.
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, -8319);
  object->Release();
}

}  // namespace
}  // namespace mvcomm::component::testing
