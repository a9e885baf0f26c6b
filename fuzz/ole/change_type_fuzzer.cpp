// File: fuzz/ole/change_type_fuzzer.cpp
//
// VariantChangeType from arbitrary text to every scalar type, then back to
// text: number and date parsing and formatting must never crash, leak or
// break the success / failure contract.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/ole/ole_testing.h"
#include "platform/ole/oleauto.h"

namespace {

const VARTYPE kTargets[] = {VT_I1,  VT_I2,  VT_I4,   VT_I8, VT_UI1,  VT_UI2,     VT_UI4,
                            VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8,   VT_CY,      VT_BOOL,
                            VT_DATE, VT_DECIMAL, VT_BSTR, VT_EMPTY, VT_NULL, VT_ERROR};

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Bytes are read as ASCII-ish text, one code unit each, with 0x80-0xFF
  // mapped to a few interesting non-ASCII units.
  std::vector<OLECHAR> text;
  text.reserve(size);
  for (std::size_t i = 0; i < size; ++i) {
    std::uint8_t b = data[i];
    text.push_back(b < 0x80 ? static_cast<OLECHAR>(b) : static_cast<OLECHAR>(0xFF00 + b));
  }
  const mvcomm::ole::LiveCounts before = mvcomm::ole::LiveCounts::now();
  BSTR input = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  VARIANT src;
  VariantInit(&src);
  src.vt = VT_BSTR;
  src.bstrVal = input;
  for (VARTYPE vt : kTargets) {
    VARIANT dst;
    VariantInit(&dst);
    HRESULT hr = VariantChangeType(&dst, &src, 0, vt);
    if (hr == S_OK) {
      check(dst.vt == vt);
      VARIANT back;
      VariantInit(&back);
      HRESULT hr2 = VariantChangeType(&back, &dst, 0, VT_BSTR);
      check(hr2 == S_OK || hr2 == DISP_E_TYPEMISMATCH || hr2 == E_INVALIDARG);
      VariantClear(&back);
    } else {
      check(dst.vt == VT_EMPTY);
      check(hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW);
    }
    VariantClear(&dst);
  }
  VariantClear(&src);
  check(mvcomm::ole::LiveCounts::now() == before);
  return 0;
}
