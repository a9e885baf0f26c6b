// File: tests/convert/convert_test_support.h
//
// Shared by the converter and array tests: a holder that releases a VM
// product once, VARIANT and SAFEARRAY helpers, and a fixture that starts a
// VM session (for value contexts and VM objects) and checks at the end that
// every VM product, BSTR, SAFEARRAY and task-memory block made is gone.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "convert/pbcom_type_converter.h"
#include "platform/ole/ole_testing.h"
#include "platform/ole/oleauto.h"
#include "testing/ref.h"
#include "vm/vm_api.h"
#include "vm/vm_testing.h"

namespace mvcomm::convert::test {

using mvcomm::testing::Ref;

// A VARIANT cleared at scope end.
struct Var : VARIANT {
  Var() { std::memset(static_cast<VARIANT*>(this), 0, sizeof(VARIANT)); }
  ~Var() { VariantClear(this); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
};

inline std::u16string u16(const char* ascii) {
  std::u16string s;
  while (*ascii != '\0') s += static_cast<char16_t>(static_cast<unsigned char>(*ascii++));
  return s;
}

inline BSTR bstrOf(const std::u16string& text) {
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

inline std::string textOf(vm::IVMString* s) {
  const char* text = nullptr;
  if (s == nullptr || s->text(&text) < 0 || text == nullptr) return "<none>";
  return text;
}

inline std::string hexOf(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// Every live count at one moment, VM and platform.
struct Counts {
  int64_t vm = 0;
  ole::LiveCounts ole;
  static Counts now() { return {vm::testing::liveTotal(), ole::LiveCounts::now()}; }
  friend bool operator==(const Counts& a, const Counts& b) { return a.vm == b.vm && a.ole == b.ole; }
};

inline std::string describe(const Counts& c) {
  return "vm " + std::to_string(c.vm) + ", bstr " + std::to_string(c.ole.bstr) + ", safearray " +
         std::to_string(c.ole.safeArray) + ", taskmem " + std::to_string(c.ole.coTaskMem);
}

#define EXPECT_COUNTS_BACK(baseline) \
  EXPECT_TRUE(Counts::now() == (baseline)) << describe(Counts::now()) << " vs " << describe(baseline)

class ConvertFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline_ = Counts::now();
    {
      Ref<vm::IVMString> path;
      ASSERT_EQ(vm::vmMakeString(MVCOMM_CONVERT_PROBE_MODULE, path.out()), 0);
      ASSERT_EQ(vm::vmStartSession(nullptr, path.get(), 1, 0, session_.out()), 0);
      Ref<vm::IVMString> cls;
      ASSERT_EQ(vm::vmMakeString("n_cst_convert_probe", cls.out()), 0);
      ASSERT_EQ(vm::vmCreateObject(cls.get(), session_.get(), object_.out()), 0);
      ASSERT_EQ(object_->valueContext(context_.out()), 0);
    }
    ready_ = Counts::now();
  }
  void TearDown() override {
    vm::testing::clearFailure();
    ole::clearAllocationFailures();
    context_.reset();
    object_.reset();
    session_.reset();
    EXPECT_COUNTS_BACK(baseline_);
  }

  Ref<vm::IVMString> vmString(const char* text) {
    Ref<vm::IVMString> s;
    EXPECT_EQ(vm::vmMakeString(text, s.out()), 0);
    return s;
  }

  PBCOMTypeConverter conv_;
  Counts baseline_;
  Counts ready_;  // with the session, object and context alive
  Ref<vm::IVMSession> session_;
  Ref<vm::IVMObject> object_;
  Ref<vm::IVMValueContext> context_;
};

}  // namespace mvcomm::convert::test
