// File: fuzz/typelib/typelib_load_fuzzer.cpp
//
// Hostile type library bytes: the loader must refuse or accept without an
// over-read, and an accepted library must answer every query and survive
// Invoke of each member on an object whose every slot returns S_OK.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/ole/oleauto.h"
#include "platform/ole/typelib/load_type_lib.h"
#include "platform/ole/typelib/tlb_io.h"

namespace {

// Stands in for any slot; the arguments are ignored (the caller cleans up).
extern "C" long AnySlot() { return 0; }

// An object with more slots than any library may describe.
struct AnyObject {
  void** vtable;
};
void** AnyVtable() {
  static std::vector<void*> table(70000, reinterpret_cast<void*>(&AnySlot));
  return table.data();
}

void Exercise(ITypeLib* lib) {
  BSTR name = nullptr, doc = nullptr;
  if (SUCCEEDED(lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr))) {
    SysFreeString(name);
    SysFreeString(doc);
  }
  TLIBATTR* la = nullptr;
  if (SUCCEEDED(lib->GetLibAttr(&la))) lib->ReleaseTLibAttr(la);
  AnyObject obj{AnyVtable()};
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &info))) std::abort();
    TYPEATTR* ta = nullptr;
    if (FAILED(info->GetTypeAttr(&ta))) std::abort();
    for (UINT k = 0; k < ta->cImplTypes; ++k) {
      HREFTYPE href;
      ITypeInfo* ref = nullptr;
      if (SUCCEEDED(info->GetRefTypeOfImplType(k, &href)) && SUCCEEDED(info->GetRefTypeInfo(href, &ref)))
        ref->Release();
    }
    for (UINT f = 0; f < ta->cFuncs; ++f) {
      FUNCDESC* fd = nullptr;
      if (FAILED(info->GetFuncDesc(f, &fd))) std::abort();
      BSTR names[4] = {};
      UINT count = 0;
      if (SUCCEEDED(info->GetNames(fd->memid, names, 4, &count)))
        for (UINT n = 0; n < count; ++n) {
          MEMBERID id;
          LPOLESTR s = names[n];
          info->GetIDsOfNames(&s, 1, &id);
          SysFreeString(names[n]);
        }
      DISPPARAMS none = {nullptr, nullptr, 0, 0};
      VARIANT result;
      VariantInit(&result);
      info->Invoke(&obj, fd->memid, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
      VariantClear(&result);
      info->ReleaseFuncDesc(fd);
    }
    info->ReleaseTypeAttr(ta);
    info->Release();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ITypeLib* lib = nullptr;
  HRESULT hr = mvcomm::typelib::LoadTypeLibFromMemory(data, size, &lib);
  if (FAILED(hr)) {
    if (lib) std::abort();
    return 0;
  }
  Exercise(lib);
  // A library that loads writes back to the same bytes it came from.
  mvcomm::typelib::Library model;
  if (mvcomm::typelib::ReadLibrary(data, size, &model) != mvcomm::typelib::ReadResult::kOk) std::abort();
  mvcomm::typelib::Library again;
  std::vector<uint8_t> bytes = mvcomm::typelib::WriteLibrary(model);
  if (mvcomm::typelib::ReadLibrary(bytes.data(), bytes.size(), &again) != mvcomm::typelib::ReadResult::kOk ||
      !(again == model))
    std::abort();
  lib->Release();
  return 0;
}
