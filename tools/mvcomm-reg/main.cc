// File: tools/mvcomm-reg/main.cc
//
// mvcomm-reg: look at and change the component registry from a shell.
//   mvcomm-reg export [KEY]    print the registry (or KEY's tree) as REGEDIT4
//   mvcomm-reg import FILE     apply a REGEDIT4 file ("-" reads standard input)
//   mvcomm-reg delete KEY      remove KEY with everything below it
// Each command checks the database first and changes nothing in a damaged one.
// Exit status: 0 done, 1 failed, 2 bad usage.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/registry/registry_path.h"
#include "tools/mvcomm-reg/reg_file.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int usage(std::FILE* to, int status) {
  std::fprintf(to,
               "usage: mvcomm-reg export [KEY]\n"
               "       mvcomm-reg import FILE   (- for standard input)\n"
               "       mvcomm-reg delete KEY\n"
               "KEY is HKEY_CLASSES_ROOT\\path, HKCR\\path or a path below HKEY_CLASSES_ROOT.\n"
               "The registry is %s (MVCOMM_REGISTRY overrides).\n"
               "Each command checks the database first and refuses a damaged one.\n",
               mvcomm::registry::databasePath().c_str());
  return status;
}

int failed(const std::string& what, LONG error) {
  std::fprintf(stderr, "mvcomm-reg: %s: %s (error %d)\n", what.c_str(), mvcomm::regfile::errorText(error).c_str(),
               static_cast<int>(error));
  return kExitFailed;
}

bool keyOrComplain(const char* argument, std::string& path) {
  if (mvcomm::regfile::keyArgument(argument, path)) return true;
  std::fprintf(stderr, "mvcomm-reg: %s: not a key under HKEY_CLASSES_ROOT\n", argument);
  return false;
}

int exportCommand(const char* argument) {
  std::string path;
  if (argument != nullptr && !keyOrComplain(argument, path)) return kExitUsage;
  std::string text;
  if (LONG err = mvcomm::regfile::exportTree(path, text); err != ERROR_SUCCESS) {
    return failed(argument != nullptr ? argument : "HKEY_CLASSES_ROOT", err);
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : kExitFailed;
}

int importCommand(const char* file) {
  std::string text;
  if (std::strcmp(file, "-") == 0) {
    text.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "mvcomm-reg: %s: %s\n", file, std::strerror(errno));
      return kExitFailed;
    }
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  mvcomm::regfile::RegFile parsed;
  std::string error;
  if (!mvcomm::regfile::parse(text, parsed, error)) {
    std::fprintf(stderr, "mvcomm-reg: %s: %s (nothing imported)\n", file, error.c_str());
    return kExitFailed;
  }
  std::string where;
  if (LONG err = mvcomm::regfile::apply(parsed, where); err != ERROR_SUCCESS) {
    return failed(where + " (nothing imported)", err);
  }
  return 0;
}

int deleteCommand(const char* argument) {
  std::string path;
  if (!keyOrComplain(argument, path)) return kExitUsage;
  if (path.empty()) {
    std::fprintf(stderr, "mvcomm-reg: refusing to delete the whole of HKEY_CLASSES_ROOT\n");
    return kExitUsage;
  }
  if (LONG err = mvcomm::regfile::deleteTree(path); err != ERROR_SUCCESS) return failed(argument, err);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    return usage(stdout, 0);
  }
  if (argc == 2 && std::strcmp(argv[1], "export") == 0) return exportCommand(nullptr);
  if (argc == 3 && std::strcmp(argv[1], "export") == 0) return exportCommand(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "import") == 0) return importCommand(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "delete") == 0) return deleteCommand(argv[2]);
  return usage(stderr, kExitUsage);
}
