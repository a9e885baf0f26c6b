// File: platform/ole/bstr.cpp
//
// BSTR allocation. Block layout, from the allocation start:
//   4 bytes padding | 4-byte byte count | text | 2-byte NUL
// so the pointer handed out (the text) is 8-byte aligned and the count sits
// just before it, where every caller expects it.
#include <cstdlib>
#include <cstring>

#include "platform/ole/internal/accounting.h"
#include "platform/ole/internal/bstr_util.h"
#include "platform/ole/oleauto.h"

using mvcomm::ole::AllocKind;
namespace acc = mvcomm::ole::internal;

namespace {

constexpr std::size_t kHeader = 8;  // padding + byte count
// Largest byte count we hand out; keeps every size computation in range.
constexpr std::size_t kMaxBytes = 0x7FFFFFF0u;

char* blockOf(BSTR b) { return reinterpret_cast<char*>(b) - kHeader; }

// A BSTR of `bytes` bytes, copied from `src` when not null, NUL-terminated.
BSTR allocBytes(const void* src, std::size_t bytes) {
  if (bytes > kMaxBytes) return nullptr;
  if (!acc::admitAllocation(AllocKind::Bstr)) return nullptr;
  // +2 for the NUL, +1 so that an odd byte count still ends in a whole NUL char.
  char* block = static_cast<char*>(std::malloc(kHeader + bytes + 3));
  if (block == nullptr) return nullptr;
  acc::noteAllocated(AllocKind::Bstr);
  std::uint32_t count = static_cast<std::uint32_t>(bytes);
  std::memset(block, 0, 4);
  std::memcpy(block + 4, &count, 4);
  char* text = block + kHeader;
  if (src != nullptr) std::memcpy(text, src, bytes);
  std::memset(text + bytes, 0, 3);
  return reinterpret_cast<BSTR>(text);
}

std::size_t olestrLen(const OLECHAR* s) {
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

}  // namespace

namespace mvcomm::ole::internal {

BSTR bstrFromUtf16(const OLECHAR* text, std::size_t chars) {
  if (chars > kMaxBytes / 2) return nullptr;
  return allocBytes(text, chars * 2);
}

BSTR bstrFromAscii(std::string_view text) {
  BSTR b = allocBytes(nullptr, text.size() * 2);
  if (b == nullptr) return nullptr;
  for (std::size_t i = 0; i < text.size(); ++i) b[i] = static_cast<unsigned char>(text[i]);
  return b;
}

BSTR bstrCopy(BSTR src) {
  if (src == nullptr) return nullptr;
  return allocBytes(src, SysStringByteLen(src));
}

}  // namespace mvcomm::ole::internal

WINOLEAUTAPI_(BSTR) SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  return acc::bstrFromUtf16(psz, olestrLen(psz));
}

WINOLEAUTAPI_(BSTR) SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  return acc::bstrFromUtf16(strIn, ui);
}

WINOLEAUTAPI_(BSTR) SysAllocStringByteLen(LPCSTR psz, UINT len) { return allocBytes(psz, len); }

WINOLEAUTAPI_(INT) SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
  if (pbstr == nullptr) return FALSE;
  // Allocate before freeing: psz may point into the old string.
  BSTR fresh = acc::bstrFromUtf16(psz, len);
  if (fresh == nullptr) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

// A null psz gives an empty (non-null) string.
WINOLEAUTAPI_(INT) SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  static const OLECHAR kEmpty[1] = {0};
  if (psz == nullptr) psz = kEmpty;
  return SysReAllocStringLen(pbstr, psz, static_cast<UINT>(olestrLen(psz)));
}

WINOLEAUTAPI_(void) SysFreeString(BSTR bstrString) {
  if (bstrString == nullptr) return;
  acc::noteFreed(AllocKind::Bstr);
  std::free(blockOf(bstrString));
}

WINOLEAUTAPI_(UINT) SysStringByteLen(BSTR bstr) {
  if (bstr == nullptr) return 0;
  std::uint32_t count;
  std::memcpy(&count, reinterpret_cast<char*>(bstr) - 4, 4);
  return count;
}

WINOLEAUTAPI_(UINT) SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / 2; }
