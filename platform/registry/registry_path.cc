// File: platform/registry/registry_path.cc
//
// Resolves the registry database's file name from the environment.
#include "platform/registry/registry_path.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace mvcomm::registry {
namespace {

const char* nonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return (value != nullptr && value[0] != '\0') ? value : nullptr;
}

}  // namespace

std::string databasePath() {
  if (const char* explicitPath = nonEmptyEnv("MVCOMM_REGISTRY")) return explicitPath;
  // XDG says a relative XDG_DATA_HOME is invalid and must be ignored.
  if (const char* data = nonEmptyEnv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
    return std::string(data) + "/mvcomm/registry.db";
  }
  const char* home = nonEmptyEnv("HOME");
  if (home == nullptr) {
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) home = pw->pw_dir;
  }
  if (home == nullptr) return {};
  return std::string(home) + "/.local/share/mvcomm/registry.db";
}

}  // namespace mvcomm::registry
