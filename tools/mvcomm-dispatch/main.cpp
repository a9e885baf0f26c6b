// File: tools/mvcomm-dispatch/main.cpp
//
// mvcomm-dispatch PROGID [SCRIPT]: creates the object registered under
// PROGID and runs the script (standard input without SCRIPT) against it by
// name. Exit status: 0 all lines ran, 1 some line failed, 2 the object could
// not be created or the script not read.
#include <fstream>
#include <iostream>
#include <string>

#include "platform/ole/activation/objbase.h"
#include "tools/mvcomm-dispatch/hresult_name.h"
#include "tools/mvcomm-dispatch/late_bound.h"
#include "tools/mvcomm-dispatch/script_runner.h"

namespace {

constexpr const char* kUsage =
    "usage: mvcomm-dispatch PROGID [SCRIPT]\n"
    "  Creates PROGID (for example MVComm.MVComm) and runs SCRIPT, or standard\n"
    "  input, one statement a line:\n"
    "    commport = 1                               set a property\n"
    "    readdata \"5\", #2002-10-27#, #2002-10-28#   call a method\n"
    "    ? errorcode                                print a property\n"
    "    ' comment\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
    (argc == 2 ? std::cout : std::cerr) << kUsage;
    return argc == 2 ? 0 : 2;
  }
  std::ifstream file;
  if (argc == 3) {
    file.open(argv[2]);
    if (!file) {
      std::cerr << "mvcomm-dispatch: cannot read " << argv[2] << '\n';
      return 2;
    }
  }
  BSTR progId = mvcomm::dispatch::utf8ToBstr(argv[1]);
  CLSID clsid{};
  HRESULT hr = progId != nullptr ? CLSIDFromProgID(progId, &clsid) : E_OUTOFMEMORY;
  SysFreeString(progId);
  IDispatch* object = nullptr;
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&object));
  }
  if (FAILED(hr)) {
    std::cerr << "mvcomm-dispatch: cannot create " << argv[1] << ": "
              << mvcomm::dispatch::describeHresult(hr) << '\n';
    return 2;
  }
  int failures = 0;
  {
    mvcomm::dispatch::LateBound bound(object);
    object->Release();  // bound holds its own reference
    failures = mvcomm::dispatch::runScript(bound, argc == 3 ? file : std::cin, std::cout, std::cerr);
  }
  CoFreeUnusedLibraries();
  return failures == 0 ? 0 : 1;
}
