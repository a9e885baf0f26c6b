// File: tests/typelib/tlb_reader_test.cpp
//
// The loader against damaged and hostile type libraries: every fault is
// refused with a clear error, nothing is over-read (the sanitizer build
// watches), and a sound library still loads.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/ole/typelib/tlb_format.h"
#include "tests/typelib/typelib_fixtures.h"

namespace mvcomm::testing {
namespace {

using namespace typelib;

std::vector<uint8_t> ComponentTlb() { return TlbBytes(ComponentIdl()); }

HRESULT LoadBytes(const std::vector<uint8_t>& bytes) {
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibFromMemory(bytes.data(), bytes.size(), &lib);
  if (lib) lib->Release();
  if (FAILED(hr)) {
    EXPECT_EQ(lib, nullptr);
  }
  return hr;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
// Offset of a table's {offset, count, size} entry in the header.
size_t Dir(format::Table t) { return format::kTableDirOffset + 12 * t; }
// Offset of record `i` of table `t`.
size_t Rec(const std::vector<uint8_t>& b, format::Table t, uint32_t i) {
  return Get32(b, Dir(t)) + i * format::kRecordSize[t];
}

TEST(TlbReader, SoundLibraryLoads) { EXPECT_EQ(LoadBytes(ComponentTlb()), S_OK); }

TEST(TlbReader, EveryTruncationIsRefused) {
  std::vector<uint8_t> full = ComponentTlb();
  for (size_t n = 0; n < full.size(); ++n) {
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
    ASSERT_EQ(LoadBytes(cut), TYPE_E_CANTLOADLIBRARY) << "length " << n;
  }
}

TEST(TlbReader, TrailingBytesAreRefused) {
  std::vector<uint8_t> b = ComponentTlb();
  b.push_back(0);
  EXPECT_EQ(LoadBytes(b), TYPE_E_CANTLOADLIBRARY);
}

// Flipping any bit either still gives a sound library or a clean refusal.
TEST(TlbReader, EveryBitFlipLoadsOrIsRefused) {
  const std::vector<uint8_t> full = ComponentTlb();
  for (size_t i = 0; i < full.size(); ++i) {
    for (int bit : {0, 7}) {
      std::vector<uint8_t> b = full;
      b[i] ^= static_cast<uint8_t>(1u << bit);
      HRESULT hr = LoadBytes(b);
      ASSERT_TRUE(hr == S_OK || hr == TYPE_E_CANTLOADLIBRARY || hr == TYPE_E_UNSUPFORMAT)
          << "byte " << i << " bit " << bit << " hr " << std::hex << hr;
    }
  }
}

struct Damage {
  const char* what;
  void (*apply)(std::vector<uint8_t>&);
  HRESULT expected;
};

TEST(TlbReader, NamedDamageGivesTheNamedError) {
  const Damage cases[] = {
      {"bad magic", [](std::vector<uint8_t>& b) { b[0] = 'X'; }, TYPE_E_CANTLOADLIBRARY},
      {"text-mode damage", [](std::vector<uint8_t>& b) { b[5] = '\n'; }, TYPE_E_CANTLOADLIBRARY},
      {"newer major version", [](std::vector<uint8_t>& b) { Put16(b, 8, 2); }, TYPE_E_UNSUPFORMAT},
      {"newer minor version still loads", [](std::vector<uint8_t>& b) { Put16(b, 10, 7); }, S_OK},
      {"file size too big", [](std::vector<uint8_t>& b) { Put32(b, 16, Get32(b, 16) + 4); }, TYPE_E_CANTLOADLIBRARY},
      {"header size beyond file", [](std::vector<uint8_t>& b) { Put32(b, 12, 0x7FFFFFFC); }, TYPE_E_CANTLOADLIBRARY},
      {"header size too small", [](std::vector<uint8_t>& b) { Put32(b, 12, 64); }, TYPE_E_CANTLOADLIBRARY},
      {"record size changed", [](std::vector<uint8_t>& b) { Put32(b, Dir(format::kFuncs) + 8, 44); },
       TYPE_E_CANTLOADLIBRARY},
      {"table offset past the end", [](std::vector<uint8_t>& b) { Put32(b, Dir(format::kTypes), 0xFFFFFFF0); },
       TYPE_E_CANTLOADLIBRARY},
      {"table offset inside the header", [](std::vector<uint8_t>& b) { Put32(b, Dir(format::kParams), 8); },
       TYPE_E_CANTLOADLIBRARY},
      {"huge count wraps", [](std::vector<uint8_t>& b) { Put32(b, Dir(format::kParams) + 4, 0x40000000); },
       TYPE_E_CANTLOADLIBRARY},
      {"string reference past the table", [](std::vector<uint8_t>& b) { Put32(b, 48, 0x00FFFFF0); },
       TYPE_E_CANTLOADLIBRARY},
      {"string reference misaligned", [](std::vector<uint8_t>& b) { Put32(b, 48, Get32(b, 48) + 1); },
       TYPE_E_CANTLOADLIBRARY},
      {"string length past the table",
       [](std::vector<uint8_t>& b) { Put32(b, Get32(b, Dir(format::kStrings)) + Get32(b, 48), 0x7FFFFFFF); },
       TYPE_E_CANTLOADLIBRARY},
      {"library without a name", [](std::vector<uint8_t>& b) { Put32(b, 48, format::kNoString); },
       TYPE_E_CANTLOADLIBRARY},
      {"function range past its table",
       [](std::vector<uint8_t>& b) { Put32(b, Rec(b, format::kTypes, 0) + 44, 1000); }, TYPE_E_CANTLOADLIBRARY},
      {"parameter range past its table",
       [](std::vector<uint8_t>& b) { Put32(b, Rec(b, format::kFuncs, 0) + 32, 0xFFFFFFFF); }, TYPE_E_CANTLOADLIBRARY},
      {"slot beyond the virtual table",
       [](std::vector<uint8_t>& b) { Put16(b, Rec(b, format::kFuncs, 22) + 20, 30); }, TYPE_E_CANTLOADLIBRARY},
      {"unknown invoke kind", [](std::vector<uint8_t>& b) { Put16(b, Rec(b, format::kFuncs, 0) + 16, 3); },
       TYPE_E_CANTLOADLIBRARY},
      {"unknown type code", [](std::vector<uint8_t>& b) { Put16(b, Rec(b, format::kParams, 0) + 4, 0x48); },
       TYPE_E_CANTLOADLIBRARY},
      {"too many pointer levels", [](std::vector<uint8_t>& b) { b[Rec(b, format::kParams, 0) + 6] = 9; },
       TYPE_E_CANTLOADLIBRARY},
      {"stray type reference",
       [](std::vector<uint8_t>& b) { Put32(b, Rec(b, format::kParams, 0) + 8, 0); }, TYPE_E_CANTLOADLIBRARY},
      {"coclass implements a missing type",
       [](std::vector<uint8_t>& b) { Put32(b, Rec(b, format::kImpls, 1), 5); }, TYPE_E_CANTLOADLIBRARY},
      {"coclass implements a coclass",
       [](std::vector<uint8_t>& b) { Put32(b, Rec(b, format::kImpls, 1), 1); }, TYPE_E_CANTLOADLIBRARY},
      {"interface derives from itself",
       [](std::vector<uint8_t>& b) { Put32(b, Rec(b, format::kImpls, 0), 0); }, TYPE_E_CANTLOADLIBRARY},
      {"external reference past its table",
       [](std::vector<uint8_t>& b) { Put32(b, Rec(b, format::kImpls, 0), kExternalRef + 9); }, TYPE_E_CANTLOADLIBRARY},
      {"external names a missing import",
       [](std::vector<uint8_t>& b) { Put32(b, Rec(b, format::kExternals, 0), 3); }, TYPE_E_CANTLOADLIBRARY},
      {"unknown type kind", [](std::vector<uint8_t>& b) { Put16(b, Rec(b, format::kTypes, 0) + 28, 9); },
       TYPE_E_CANTLOADLIBRARY},
      {"retval flag on an in parameter",
       [](std::vector<uint8_t>& b) { Put16(b, Rec(b, format::kParams, 0) + 12, kParamIn | kParamRetval); },
       TYPE_E_CANTLOADLIBRARY},
  };
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> b = ComponentTlb();
    c.apply(b);
    EXPECT_EQ(LoadBytes(b), c.expected);
  }
}

TEST(TlbReader, NullAndEmptyInputsAreRefused) {
  ITypeLib* lib = reinterpret_cast<ITypeLib*>(0x1);
  EXPECT_EQ(LoadTypeLibFromMemory(nullptr, 10, &lib), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(lib, nullptr);
  EXPECT_EQ(LoadTypeLibFromMemory(nullptr, 0, nullptr), E_INVALIDARG);
}

}  // namespace
}  // namespace mvcomm::testing
