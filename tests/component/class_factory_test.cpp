// File: tests/component/class_factory_test.cpp
//
// DllGetClassObject and PBCOMCF: one cached factory per class, refusals that
// create nothing, and the type library registered by the first object.

#include <latch>
#include <thread>
#include <vector>

#include "platform/registry/winreg.h"
#include "tests/component/component_fixture.h"

STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();

namespace mvcomm::component::testing {
namespace {

// {719FD99B-2836-423E-B549-75CBDC092206}
constexpr GUID kLibid = {0x719FD99B, 0x2836, 0x423E, {0xB5, 0x49, 0x75, 0xCB, 0xDC, 0x09, 0x22, 0x06}};

// Runs first in its own process under ctest: the threads race for the very
// first factory and must all get the same one.
TEST(ClassFactoryCache, ThreadsRacingForTheFirstFactoryGetOne) {
  constexpr int kThreads = 8;
  std::vector<void*> got(kThreads, nullptr);
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &got, &start] {
      start.arrive_and_wait();
      (void)DllGetClassObject(kClsid, IID_IClassFactory, &got[t]);
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE(t);
    ASSERT_NE(got[t], nullptr);
    EXPECT_EQ(got[t], got[0]);
    static_cast<IClassFactory*>(got[t])->Release();
  }
}

using ClassFactory = ComponentTest;

TEST_F(ClassFactory, OneFactoryForTheLifeOfTheProcess) {
  IUnknown* again = nullptr;
  ASSERT_EQ(DllGetClassObject(kClsid, IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(static_cast<void*>(again), static_cast<void*>(factory_));
  // Down to zero and beyond what the client holds: the factory stays.
  again->Release();
  factory_->Release();
  factory_ = classFactory();
  ASSERT_NE(factory_, nullptr);
  EXPECT_EQ(static_cast<void*>(factory_), static_cast<void*>(again));
  IMVComm* object = create();
  ASSERT_NE(object, nullptr) << "still usable";
  object->Release();
}

TEST_F(ClassFactory, RefusalsLeaveNothingBehind) {
  const CLSID unknown = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(unknown, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(p, nullptr);
  p = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(kClsid, IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);

  IUnknown* outer = factory_;
  p = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory_->CreateInstance(outer, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(vm::testing::liveTotal(), vmLive_) << "aggregation refused before any creation";

  // An interface the object lacks: its refusal, and the object is gone.
  p = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(vm::testing::liveTotal(), vmLive_);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ClassFactory, ObjectsRegisterTheTypeLibraryWhenTheRegistryLacksIt) {
  // However earlier tests left it, start unregistered.
  (void)UnRegisterTypeLib(kLibid, 1, 0, 0x0409, SYS_WIN32);
  ITypeLib* lib = nullptr;
  ASSERT_LT(LoadRegTypeLib(kLibid, 1, 0, 0, &lib), 0);

  IMVComm* object = create();
  ASSERT_NE(object, nullptr) << "loaded from the module file";
  object->Release();
  ASSERT_EQ(LoadRegTypeLib(kLibid, 1, 0, 0, &lib), S_OK) << "and registered on the way";
  lib->Release();

  object = create();
  ASSERT_NE(object, nullptr) << "found through the registry";
  object->Release();

  ASSERT_EQ(UnRegisterTypeLib(kLibid, 1, 0, 0x0409, SYS_WIN32), S_OK);
  object = create();
  ASSERT_NE(object, nullptr) << "registered again after removal";
  object->Release();
  ASSERT_EQ(LoadRegTypeLib(kLibid, 1, 0, 0, &lib), S_OK);
  lib->Release();
}

// An object made before DllRegisterServer registers the library under its
// own locale; unregistration must still leave none of the component's keys.
TEST_F(ClassFactory, CreateThenRegisterThenUnregisterLeavesNoKey) {
  (void)DllUnregisterServer();
  (void)UnRegisterTypeLib(kLibid, 1, 0, 0x0409, SYS_WIN32);
  IMVComm* object = create();
  ASSERT_NE(object, nullptr);
  object->Release();
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(DllUnregisterServer(), S_OK);
  for (const char* key : {"TypeLib\\{719FD99B-2836-423E-B549-75CBDC092206}",
                          "CLSID\\{B17D7DC8-C9DA-4A37-A124-83D255E871A5}", "MVComm.MVComm", "MVComm.MVComm.1.0"}) {
    SCOPED_TRACE(key);
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
  }
}

}  // namespace
}  // namespace mvcomm::component::testing
