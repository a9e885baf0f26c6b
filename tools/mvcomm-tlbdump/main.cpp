// mvcomm-tlbdump: prints a type library back as IDL that mvcomm-idl compiles
// into the same library.
//
//   mvcomm-tlbdump FILE      a .tlb file or a module (shared object) carrying one
//
// Exit status 0 on success; 1 with the reason on stderr when the file holds no
// readable library; 2 for usage errors.
#include <cstdio>
#include <string>

#include "platform/ole/typelib/load_type_lib.h"
#include "platform/ole/typelib/tlb_model.h"
#include "tools/mvcomm-idl/idl_compiler.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: mvcomm-tlbdump FILE\n");
    return 2;
  }
  mvcomm::typelib::Library lib;
  std::string why;
  if (!mvcomm::typelib::ReadLibraryFile(argv[1], &lib, &why)) {
    std::fprintf(stderr, "mvcomm-tlbdump: %s: %s\n", argv[1], why.c_str());
    return 1;
  }
  std::string idl = mvcomm::idl::Print(lib);
  std::fwrite(idl.data(), 1, idl.size(), stdout);
  return 0;
}
