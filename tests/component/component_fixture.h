// File: tests/component/component_fixture.h
//
// Objects made the way clients make them: DllGetClassObject, then the
// factory's CreateInstance. The registry is a fresh database per process, so
// the type library starts unregistered. Every test ends with the VM's and the
// platform's live counts back where they started.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "component/imvcomm.h"
#include "platform/ole/ole_testing.h"
#include "platform/ole/oleauto.h"
#include "testing/temp_registry.h"
#include "vm/vm_testing.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
STDAPI DllCanUnloadNow();

namespace mvcomm::component::testing {

// {B17D7DC8-C9DA-4A37-A124-83D255E871A5}: coclass MVComm.
inline constexpr CLSID kClsid = {0xB17D7DC8, 0xC9DA, 0x4A37, {0xA1, 0x24, 0x83, 0xD2, 0x55, 0xE8, 0x71, 0xA5}};

// Points the registry at a new empty database before the first use, in a
// folder removed when the process ends.
inline const mvcomm::testing::TempRegistry kPrivateRegistry;

inline IClassFactory* classFactory() {
  IClassFactory* factory = nullptr;
  EXPECT_EQ(DllGetClassObject(kClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  return factory;
}

// A BSTR released at scope end.
class Bstr {
 public:
  explicit Bstr(const char16_t* text) : b_(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }

 private:
  BSTR b_;
};

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    factory_ = classFactory();
    ASSERT_NE(factory_, nullptr);
    vmLive_ = vm::testing::liveTotal();
    oleLive_ = ole::LiveCounts::now();
  }
  void TearDown() override {
    vm::testing::clearFailure();
    ole::clearAllocationFailures();
    EXPECT_EQ(vm::testing::liveTotal(), vmLive_) << "VM products leaked or over-released";
    EXPECT_EQ(ole::LiveCounts::now(), oleLive_) << "BSTRs, arrays or task memory leaked";
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "an object or a server lock outlived the test";
    if (factory_ != nullptr) factory_->Release();
  }

  // A new object as IMVComm, or null with the creation status in *status.
  IMVComm* create(HRESULT* status = nullptr) {
    IMVComm* object = nullptr;
    const HRESULT hr = factory_->CreateInstance(nullptr, IID_IMVComm, reinterpret_cast<void**>(&object));
    if (status != nullptr) *status = hr;
    return object;
  }

  IClassFactory* factory_ = nullptr;
  int64_t vmLive_ = 0;
  ole::LiveCounts oleLive_;
};

}  // namespace mvcomm::component::testing
