// File: platform/registry/registry_path.h
//
// Where the registry database lives: MVCOMM_REGISTRY when set, else
// mvcomm/registry.db under $XDG_DATA_HOME, else under ~/.local/share. The
// special name ":memory:" keeps a private in-memory registry (fuzzing).
#pragma once

#include <string>

namespace mvcomm::registry {

// The database file the next registry call will use, resolved from the
// environment at each call, so a test can point each case at its own file.
// Returns an empty text when no location can be found (no HOME at all).
std::string databasePath();

}  // namespace mvcomm::registry
