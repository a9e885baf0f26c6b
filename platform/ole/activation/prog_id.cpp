// File: platform/ole/activation/prog_id.cpp
//
// CLSIDFromProgID and ProgIDFromCLSID over HKEY_CLASSES_ROOT.
#include <cstring>

#include "platform/no_throw.h"
#include "platform/ole/activation/internal/class_keys.h"
#include "platform/ole/activation/objbase.h"
#include "platform/ole/typelib/text16.h"

namespace act = mvcomm::ole::activation;
using mvcomm::typelib::Utf16ToUtf8;
using mvcomm::typelib::Utf8ToUtf16;

namespace {

// Registry key names are bounded; a longer ProgID cannot be registered.
constexpr size_t kMaxProgIdChars = 255;

}  // namespace

STDAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) try {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  *lpclsid = CLSID_NULL;
  size_t length = mvcomm::typelib::BoundedLength(lpszProgID, kMaxProgIdChars);
  if (length == 0 || length > kMaxProgIdChars) return CO_E_CLASSSTRING;
  std::string progId = Utf16ToUtf8(std::u16string_view(lpszProgID, length));
  // A backslash would walk into another key than the ProgID's own.
  if (progId.find('\\') != std::string::npos) return CO_E_CLASSSTRING;

  std::optional<std::string> text = act::readDefaultText(progId + "\\CLSID");
  if (!text) return CO_E_CLASSSTRING;
  std::u16string wide = Utf8ToUtf16(*text);
  CLSID parsed{};
  if (FAILED(CLSIDFromString(wide.c_str(), &parsed))) return CO_E_CLASSSTRING;
  *lpclsid = parsed;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}

STDAPI ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) try {
  if (lplpszProgID == nullptr) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  std::optional<std::string> text = act::readDefaultText(act::classKeyPath(clsid) + "\\ProgID");
  if (!text || text->empty()) return REGDB_E_CLASSNOTREG;
  std::u16string wide = Utf8ToUtf16(*text);
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
  if (out == nullptr) return E_OUTOFMEMORY;
  std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
  *lplpszProgID = out;
  return S_OK;
} catch (...) {
  return mvcomm::failureStatus<HRESULT>(E_OUTOFMEMORY, E_UNEXPECTED);
}
