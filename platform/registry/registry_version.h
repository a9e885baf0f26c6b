// File: platform/registry/registry_version.h
//
// A cheap test of whether the registry changed. Readers that keep what they
// read take the version before reading and read again once it moved: any
// commit, by this process or another one, and any write this process began
// (even one not yet committed or later rolled back) moves it.
#pragma once

#include <cstdint>

#include "platform/registry/winreg.h"

namespace mvcomm::registry {

struct RegistryVersion {
  std::uint64_t connection = 0;   // serial of the connection read (new for a new file or a fork)
  std::uint64_t dataVersion = 0;  // SQLite's data_version: commits by other connections
  std::uint64_t localWrites = 0;  // write transactions begun, committed or undone on it

  friend bool operator==(const RegistryVersion&, const RegistryVersion&) = default;
};

// The version of the database the environment names now. Costs one read
// transaction, no key lookup. Errors: those of opening the database
// (ERROR_CANTOPEN, ERROR_BADDB, ERROR_BUSY, ERROR_NOT_ENOUGH_MEMORY) and of
// reading it; *out is then zero, a version no database has.
LONG currentRegistryVersion(RegistryVersion* out);

}  // namespace mvcomm::registry
