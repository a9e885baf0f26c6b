// mvcomm-idl: compiles an interface definition (IDL) into a type library.
//
//   mvcomm-idl [-o OUT.tlb] INPUT.idl
//
// Without -o the library is written beside the input, with the extension
// .tlb. Exit status 0 on success; 1 with a "file:line: message" on stderr for
// a definition that does not compile; 2 for usage or I/O errors.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ole/typelib/tlb_io.h"
#include "tools/mvcomm-idl/idl_compiler.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: mvcomm-idl [-o OUT.tlb] INPUT.idl\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string in, out;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) out = argv[++i];
    else if (argv[i][0] == '-' || !in.empty()) return usage();
    else in = argv[i];
  }
  if (in.empty()) return usage();
  if (out.empty()) {
    size_t dot = in.rfind('.');
    size_t slash = in.rfind('/');
    out = (dot == std::string::npos || (slash != std::string::npos && dot < slash) ? in : in.substr(0, dot)) + ".tlb";
  }
  std::ifstream f(in, std::ios::binary);
  if (!f) {
    std::fprintf(stderr, "mvcomm-idl: cannot read %s: %s\n", in.c_str(), std::strerror(errno));
    return 2;
  }
  std::stringstream text;
  text << f.rdbuf();
  mvcomm::typelib::Library lib;
  std::string error = mvcomm::idl::Compile(text.str(), in, &lib);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes = mvcomm::typelib::WriteLibrary(lib);
  // Write a temporary and rename it, so a build never sees half a library.
  std::string tmp = out + ".tmp";
  std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
  o.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  o.close();
  if (!o || std::rename(tmp.c_str(), out.c_str()) != 0) {
    std::fprintf(stderr, "mvcomm-idl: cannot write %s: %s\n", out.c_str(), std::strerror(errno));
    std::remove(tmp.c_str());
    return 2;
  }
  return 0;
}
