// File: tools/mvcomm-regsvr/main.cc
//
// mvcomm-regsvr [-u] MODULE: loads a component module and calls its
// DllRegisterServer (or, with -u, DllUnregisterServer).
// Exit status: 0 done; 2 bad usage; 3 the module cannot be loaded; 4 it
// lacks the entry point; 5 the entry point returned a failure HRESULT,
// which is printed in hex.
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitCannotLoad = 3;
constexpr int kExitNoEntryPoint = 4;
constexpr int kExitCallFailed = 5;

using EntryPoint = std::int32_t (*)();

// A module named by an existing file is loaded by its full path, so the
// module registers where it really is (dlopen would search the library path
// for a bare name and never look in the current folder).
std::string loadableName(const char* module) {
  struct stat info;
  if (stat(module, &info) == 0 && S_ISREG(info.st_mode)) {
    if (char* full = realpath(module, nullptr)) {
      std::string path = full;
      free(full);
      return path;
    }
  }
  return module;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  const char* module = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-u") == 0 && module == nullptr) {
      unregister = true;
    } else if (module == nullptr && argv[i][0] != '-') {
      module = argv[i];
    } else {
      module = nullptr;
      break;
    }
  }
  if (module == nullptr) {
    std::fprintf(stderr, "usage: mvcomm-regsvr [-u] MODULE\n");
    return kExitUsage;
  }
  const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";

  void* handle = dlopen(loadableName(module).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "mvcomm-regsvr: cannot load %s: %s\n", module, dlerror());
    return kExitCannotLoad;
  }
  auto entry = reinterpret_cast<EntryPoint>(dlsym(handle, entryName));
  if (entry == nullptr) {
    std::fprintf(stderr, "mvcomm-regsvr: %s has no %s\n", module, entryName);
    dlclose(handle);
    return kExitNoEntryPoint;
  }
  std::int32_t result = entry();
  // The module stays loaded until exit: its registration may have started
  // threads or registered exit handlers that must not outlive its code.
  if (result < 0) {
    std::fprintf(stderr, "mvcomm-regsvr: %s in %s failed: 0x%08" PRIX32 "\n", entryName, module,
                 static_cast<std::uint32_t>(result));
    return kExitCallFailed;
  }
  std::printf("%s in %s succeeded.\n", entryName, module);
  return 0;
}
