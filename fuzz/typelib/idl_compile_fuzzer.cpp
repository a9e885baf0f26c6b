// File: fuzz/typelib/idl_compile_fuzzer.cpp
//
// IDL text from outside: the compiler must refuse or accept without a fault,
// and whatever it accepts must survive the round trip through the binary
// format and the printer unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/ole/typelib/tlb_io.h"
#include "tools/mvcomm-idl/idl_compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mvcomm;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  typelib::Library lib;
  if (!idl::Compile(text, "fuzz.idl", &lib).empty()) return 0;
  std::vector<uint8_t> bytes = typelib::WriteLibrary(lib);
  typelib::Library read;
  if (typelib::ReadLibrary(bytes.data(), bytes.size(), &read) != typelib::ReadResult::kOk || !(read == lib))
    std::abort();
  typelib::Library again;
  if (!idl::Compile(idl::Print(lib), "printed.idl", &again).empty() || !(again == lib)) std::abort();
  return 0;
}
