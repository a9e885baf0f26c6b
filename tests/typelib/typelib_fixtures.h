// File: tests/typelib/typelib_fixtures.h
//
// Shared by the type library tests: the component's IDL compiled in memory,
// loading a library from IDL text, and a reference holder.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ole/oleauto.h"
#include "platform/ole/typelib/load_type_lib.h"
#include "platform/ole/typelib/text16.h"
#include "platform/ole/typelib/tlb_io.h"
#include "testing/ref.h"
#include "tools/mvcomm-idl/idl_compiler.h"

namespace mvcomm::testing {

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline std::string ComponentIdl() { return ReadFile(MVCOMM_IDL_FILE); }

// Compiles IDL text; fails the test on a compile error.
inline typelib::Library CompileOrFail(const std::string& idl) {
  typelib::Library lib;
  std::string error = idl::Compile(idl, "test.idl", &lib);
  EXPECT_EQ(error, "");
  return lib;
}

inline std::vector<uint8_t> TlbBytes(const std::string& idl) {
  return typelib::WriteLibrary(CompileOrFail(idl));
}

using mvcomm::testing::Ref;

// A library loaded from IDL text (not cached).
inline HRESULT LoadFromIdl(const std::string& idl, ITypeLib** out) {
  std::vector<uint8_t> bytes = TlbBytes(idl);
  return typelib::LoadTypeLibFromMemory(bytes.data(), bytes.size(), out);
}

inline GUID GuidOf(const char* text) {
  typelib::Guid g{};
  EXPECT_TRUE(typelib::GuidFromText(text, &g)) << text;
  GUID out;
  std::memcpy(&out, g.data(), 16);
  return out;
}

// A BSTR freed at scope exit.
class Bstr {
 public:
  explicit Bstr(const char16_t* s) : b_(SysAllocString(s)) {}
  Bstr() = default;
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* out() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  BSTR get() const { return b_; }
  std::u16string str() const { return b_ ? std::u16string(b_, SysStringLen(b_)) : u""; }

 private:
  BSTR b_ = nullptr;
};

}  // namespace mvcomm::testing
