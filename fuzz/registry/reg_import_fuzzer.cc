// Feeds arbitrary text to the REGEDIT4 reader. Whatever it accepts is
// applied to a private in-memory registry, exported, and the export must
// read back, apply, and export again to the very same text.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/registry/winreg.h"
#include "tools/mvcomm-reg/reg_file.h"

namespace {

void check(bool ok, const char* what, const std::string& detail = {}) {
  if (!ok) {
    std::fprintf(stderr, "import fuzzer: %s %s\n", what, detail.c_str());
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("MVCOMM_REGISTRY", ":memory:", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mvcomm::regfile;
  RegFile file;
  std::string error;
  if (!parse(std::string_view(reinterpret_cast<const char*>(data), size), file, error)) {
    check(error.rfind("line ", 0) == 0, "error without a line number:", error);
    return 0;
  }
  std::string where;
  if (apply(file, where) == ERROR_SUCCESS) {
    std::string first;
    check(exportTree("", first) == ERROR_SUCCESS, "export failed");
    check(RegDeleteTreeA(HKEY_CLASSES_ROOT, nullptr) == ERROR_SUCCESS, "cannot empty the registry");
    RegFile again;
    check(parse(first, again, error), "own export does not parse:", error);
    check(apply(again, where) == ERROR_SUCCESS, "own export does not apply:", where);
    std::string second;
    check(exportTree("", second) == ERROR_SUCCESS, "second export failed");
    check(first == second, "round trip changed the registry");
  }
  check(RegDeleteTreeA(HKEY_CLASSES_ROOT, nullptr) == ERROR_SUCCESS, "cannot empty the registry");
  return 0;
}
