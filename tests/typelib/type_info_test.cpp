// File: tests/typelib/type_info_test.cpp
//
// ITypeLib and the descriptive ITypeInfo operations over the component's
// library: what an automation client reads back must be part of the contract
// (attributes, function descriptions, names), and name lookup ignores case.
#include <gtest/gtest.h>

#include "tests/typelib/typelib_fixtures.h"

namespace mvcomm::testing {
namespace {

class ComponentTypeInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadFromIdl(ComponentIdl(), lib_.out()), S_OK);
    ASSERT_EQ(lib_->GetTypeInfo(0, iface_.out()), S_OK);
    ASSERT_EQ(lib_->GetTypeInfo(1, coclass_.out()), S_OK);
  }

  // GetIDsOfNames for a list of names.
  HRESULT Ids(std::vector<const char16_t*> names, std::vector<MEMBERID>* ids) {
    ids->assign(names.size(), 12345);
    return iface_->GetIDsOfNames(const_cast<LPOLESTR*>(names.data()), static_cast<UINT>(names.size()),
                                 ids->data());
  }

  Ref<ITypeLib> lib_;
  Ref<ITypeInfo> iface_;
  Ref<ITypeInfo> coclass_;
};

TEST_F(ComponentTypeInfo, LibraryAttributesAndDocumentation) {
  EXPECT_EQ(lib_->GetTypeInfoCount(), 2u);
  TYPEKIND kind;
  EXPECT_EQ(lib_->GetTypeInfoType(0, &kind), S_OK);
  EXPECT_EQ(kind, TKIND_INTERFACE);
  EXPECT_EQ(lib_->GetTypeInfoType(1, &kind), S_OK);
  EXPECT_EQ(kind, TKIND_COCLASS);
  EXPECT_EQ(lib_->GetTypeInfoType(2, &kind), TYPE_E_ELEMENTNOTFOUND);

  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib_->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->lcid, 0x0409u);
  EXPECT_EQ(attr->syskind, SYS_WIN32);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->wLibFlags, 0);
  lib_->ReleaseTLibAttr(attr);

  Bstr name, doc;
  DWORD context = 99;
  ASSERT_EQ(lib_->GetDocumentation(-1, name.out(), doc.out(), &context, nullptr), S_OK);
  EXPECT_EQ(name.str(), u"MVComm");
  EXPECT_EQ(doc.str(), u"Morvane Communication Component 1.0 TypeLib");
  EXPECT_EQ(context, 0u);
  ASSERT_EQ(lib_->GetDocumentation(0, name.out(), doc.out(), nullptr, nullptr), S_OK);
  EXPECT_EQ(name.str(), u"IMVComm");
  EXPECT_EQ(doc.get(), nullptr);  // the interface carries no help string
  EXPECT_EQ(lib_->GetDocumentation(2, name.out(), nullptr, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(ComponentTypeInfo, TypeInfoOfGuidFindsInterfaceAndCoclass) {
  TYPEATTR* a = nullptr;
  ASSERT_EQ(iface_->GetTypeAttr(&a), S_OK);
  GUID iid = a->guid;
  iface_->ReleaseTypeAttr(a);
  Ref<ITypeInfo> found;
  ASSERT_EQ(lib_->GetTypeInfoOfGuid(iid, found.out()), S_OK);
  EXPECT_EQ(found.get(), iface_.get());
  EXPECT_EQ(lib_->GetTypeInfoOfGuid(IID_IDispatch, found.out()), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(found.get(), nullptr);
}

TEST_F(ComponentTypeInfo, InterfaceAndCoclassAttributes) {
  TYPEATTR* a = nullptr;
  ASSERT_EQ(iface_->GetTypeAttr(&a), S_OK);
  EXPECT_EQ(a->typekind, TKIND_INTERFACE);
  EXPECT_EQ(a->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION);
  EXPECT_EQ(a->cFuncs, 23);
  EXPECT_EQ(a->cVars, 0);
  EXPECT_EQ(a->cImplTypes, 1);
  EXPECT_EQ(a->cbSizeVft, 30 * sizeof(void*));
  EXPECT_EQ(a->lcid, 0x0409u);
  iface_->ReleaseTypeAttr(a);

  ASSERT_EQ(coclass_->GetTypeAttr(&a), S_OK);
  EXPECT_EQ(a->typekind, TKIND_COCLASS);
  EXPECT_EQ(a->wTypeFlags, TYPEFLAG_FCANCREATE);
  EXPECT_EQ(a->cImplTypes, 1);
  coclass_->ReleaseTypeAttr(a);

  INT flags = 0;
  EXPECT_EQ(coclass_->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  EXPECT_EQ(coclass_->GetImplTypeFlags(1, &flags), TYPE_E_ELEMENTNOTFOUND);
  HREFTYPE href;
  ASSERT_EQ(coclass_->GetRefTypeOfImplType(0, &href), S_OK);
  Ref<ITypeInfo> impl;
  ASSERT_EQ(coclass_->GetRefTypeInfo(href, impl.out()), S_OK);
  EXPECT_EQ(impl.get(), iface_.get());
}

TEST_F(ComponentTypeInfo, BaseInterfaceIsTheStandardIDispatch) {
  HREFTYPE href;
  ASSERT_EQ(iface_->GetRefTypeOfImplType(0, &href), S_OK);
  EXPECT_EQ(iface_->GetRefTypeOfImplType(1, &href), TYPE_E_ELEMENTNOTFOUND);
  ASSERT_EQ(iface_->GetRefTypeOfImplType(0, &href), S_OK);
  Ref<ITypeInfo> base;
  ASSERT_EQ(iface_->GetRefTypeInfo(href, base.out()), S_OK);
  TYPEATTR* a = nullptr;
  ASSERT_EQ(base->GetTypeAttr(&a), S_OK);
  EXPECT_TRUE(IsEqualGUID(a->guid, IID_IDispatch));
  EXPECT_EQ(a->cbSizeVft, 7 * sizeof(void*));
  base->ReleaseTypeAttr(a);
  Bstr name;
  ASSERT_EQ(base->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(name.str(), u"IDispatch");
  EXPECT_EQ(iface_->GetRefTypeInfo(0x12345, base.out()), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(ComponentTypeInfo, FuncDescDescribesSlotsAndParameterTypes) {
  struct Row {
    UINT index;
    MEMBERID memid;
    INVOKEKIND invkind;
    SHORT slot;
    std::vector<std::pair<VARTYPE, USHORT>> params;  // outer vt, flags
    VARTYPE pointee;                                  // for VT_PTR parameters
  };
  const Row rows[] = {
      {0, 1, INVOKE_PROPERTYPUT, 7, {{VT_I2, PARAMFLAG_FIN}}, VT_EMPTY},
      {1, 1, INVOKE_PROPERTYGET, 8, {{VT_PTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}}, VT_I2},
      {9, 8, INVOKE_PROPERTYGET, 16, {{VT_PTR, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}}, VT_DATE},
      {17, 15, INVOKE_FUNC, 24, {{VT_BSTR, PARAMFLAG_FIN}, {VT_DATE, PARAMFLAG_FIN}, {VT_DATE, PARAMFLAG_FIN}}, VT_EMPTY},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.index);
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(iface_->GetFuncDesc(r.index, &fd), S_OK);
    EXPECT_EQ(fd->memid, r.memid);
    EXPECT_EQ(fd->invkind, r.invkind);
    EXPECT_EQ(fd->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(fd->callconv, CC_STDCALL);
    EXPECT_EQ(fd->oVft, r.slot * static_cast<SHORT>(sizeof(void*)));
    EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_HRESULT);
    EXPECT_EQ(fd->cParamsOpt, 0);
    ASSERT_EQ(fd->cParams, static_cast<SHORT>(r.params.size()));
    for (size_t k = 0; k < r.params.size(); ++k) {
      EXPECT_EQ(fd->lprgelemdescParam[k].tdesc.vt, r.params[k].first);
      EXPECT_EQ(fd->lprgelemdescParam[k].paramdesc.wParamFlags, r.params[k].second);
      if (r.params[k].first == VT_PTR) {
        EXPECT_EQ(fd->lprgelemdescParam[k].tdesc.lptdesc->vt, r.pointee);
      }
    }
    iface_->ReleaseFuncDesc(fd);
  }
  FUNCDESC* fd = reinterpret_cast<FUNCDESC*>(0x1);
  EXPECT_EQ(iface_->GetFuncDesc(23, &fd), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(fd, nullptr);
}

TEST_F(ComponentTypeInfo, GetNamesListsTheMemberThenItsNamedParameters) {
  BSTR names[4] = {};
  UINT count = 0;
  ASSERT_EQ(iface_->GetNames(15, names, 4, &count), S_OK);
  ASSERT_EQ(count, 4u);
  const char16_t* want[] = {u"readdata", u"machinenum", u"startdate", u"enddate"};
  for (UINT i = 0; i < count; ++i) {
    EXPECT_EQ(std::u16string(names[i]), want[i]);
    SysFreeString(names[i]);
  }
  ASSERT_EQ(iface_->GetNames(15, names, 2, &count), S_OK);  // truncated to the buffer
  EXPECT_EQ(count, 2u);
  SysFreeString(names[0]);
  SysFreeString(names[1]);
  EXPECT_EQ(iface_->GetNames(99, names, 4, &count), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(ComponentTypeInfo, GetIDsOfNamesIgnoresCase) {
  const std::pair<const char16_t*, MEMBERID> rows[] = {
      {u"commport", 1}, {u"COMMPORT", 1}, {u"CommPort", 1}, {u"bautrate", 2},
      {u"ReceiveDataTimeLapse", 12}, {u"SETCLOCK", 13}, {u"writerefertable", 20},
  };
  for (auto [name, id] : rows) {
    SCOPED_TRACE(::testing::PrintToString(std::u16string(name)).c_str());
    std::vector<MEMBERID> ids;
    EXPECT_EQ(Ids({name}, &ids), S_OK);
    EXPECT_EQ(ids[0], id);
  }
}

TEST_F(ComponentTypeInfo, GetIDsOfNamesMapsParameterNamesToPositions) {
  std::vector<MEMBERID> ids;
  EXPECT_EQ(Ids({u"rtwriterecord", u"CARDID", u"numrecord"}, &ids), S_OK);
  EXPECT_EQ(ids, (std::vector<MEMBERID>{18, 2, 0}));
}

TEST_F(ComponentTypeInfo, UnknownNamesGiveUnknownNameAndMinusOne) {
  std::vector<MEMBERID> ids;
  EXPECT_EQ(Ids({u"comport"}, &ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  EXPECT_EQ(Ids({u"readdata", u"machinenum", u"nosuch"}, &ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids, (std::vector<MEMBERID>{15, 0, DISPID_UNKNOWN}));
  EXPECT_EQ(Ids({u"nosuch", u"machinenum"}, &ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids, (std::vector<MEMBERID>{DISPID_UNKNOWN, DISPID_UNKNOWN}));
  EXPECT_EQ(Ids({u""}, &ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(iface_->GetIDsOfNames(nullptr, 1, ids.data()), E_INVALIDARG);
}

TEST_F(ComponentTypeInfo, ReferencesKeepTheLibraryAlive) {
  ITypeInfo* info = iface_.get();
  info->AddRef();
  lib_.reset();
  iface_.reset();
  coclass_.reset();
  Ref<ITypeLib> containing;
  UINT index = 9;
  EXPECT_EQ(info->GetContainingTypeLib(containing.out(), &index), S_OK);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(containing->GetTypeInfoCount(), 2u);
  info->Release();
}

TEST_F(ComponentTypeInfo, QueryInterfaceAnswersOnlyItsOwnInterfaces) {
  void* p = nullptr;
  EXPECT_EQ(iface_->QueryInterface(IID_ITypeInfo, &p), S_OK);
  static_cast<IUnknown*>(p)->Release();
  EXPECT_EQ(iface_->QueryInterface(IID_ITypeLib, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(lib_->QueryInterface(IID_ITypeLib, &p), S_OK);
  static_cast<IUnknown*>(p)->Release();
  EXPECT_EQ(lib_->QueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
}

}  // namespace
}  // namespace mvcomm::testing
