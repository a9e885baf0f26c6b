// A module whose registration fails and that cannot unregister at all.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() {
  return static_cast<std::int32_t>(0x80070005);  // E_ACCESSDENIED
}
