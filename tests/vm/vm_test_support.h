// File: tests/vm/vm_test_support.h
//
// Helpers of the VM tests: a holder that releases a product once, and a
// fixture that starts a session on the probe module and checks that every
// product is gone afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "testing/ref.h"
#include "vm/vm_api.h"
#include "vm/vm_testing.h"

namespace mvcomm::vm::test {

using mvcomm::testing::Ref;

inline Ref<IVMString> name(const char* text) {
  Ref<IVMString> s;
  EXPECT_EQ(vmMakeString(text, s.out()), kVmOk);
  return s;
}

// A session on the probe module and a value context from one probe object.
class VmFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = testing::liveTotal();
    auto path = name(MVCOMM_PROBE_MODULE);
    ASSERT_EQ(vmStartSession(nullptr, path.get(), 1, 0, session_.out()), kVmOk);
    auto cls = name("n_cst_probe");
    ASSERT_EQ(vmCreateObject(cls.get(), session_.get(), object_.out()), kVmOk);
    ASSERT_EQ(object_->valueContext(context_.out()), kVmOk);
  }
  void TearDown() override {
    testing::clearFailure();
    context_.reset();
    object_.reset();
    session_.reset();
    EXPECT_EQ(testing::liveTotal(), baseline_) << "a VM product was leaked";
  }

  Ref<IVMValue> makeValue(int32_t code) {
    Ref<IVMValue> v;
    EXPECT_EQ(vmMakeValue(code, context_.get(), v.out()), kVmOk);
    return v;
  }

  int64_t baseline_ = 0;
  Ref<IVMSession> session_;
  Ref<IVMObject> object_;
  Ref<IVMValueContext> context_;
};

}  // namespace mvcomm::vm::test
