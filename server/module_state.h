// File: server/module_state.h
//
// What the module records about itself: its full path (taken at load) and
// the count that decides whether it may be unloaded (live automation
// objects plus outstanding server locks).
#pragma once

#include <cstdint>
#include <string>

namespace mvcomm::server {

// Full path of the module file, recorded at load; never cut, whatever its
// length. Empty only if the loader could not say where the module is.
const char* modulePath();
const std::string& modulePathText();

// Records the path of the module that contains `addressInModule` (dladdr),
// made absolute when the loader gives a relative one. Called by the load hook.
void recordModulePath(const void* addressInModule);

// moduleLockCount: changed only by these two, atomically.
void lockModule();    // + 1: an object's first reference, LockServer(TRUE)
void unlockModule();  // - 1: an object's last release, LockServer(FALSE)
int32_t moduleLockCount();

}  // namespace mvcomm::server
