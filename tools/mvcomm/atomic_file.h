// File: tools/mvcomm/atomic_file.h
//
// Replacing a file so that a crash at any instant leaves either the old
// content or the new, never a mixture or nothing: write a temporary file in
// the same directory, fsync it, rename it over the target, fsync the
// directory so the rename itself is on disk.
#pragma once

#include <string>
#include <string_view>

namespace mvcomm::cli {

// Returns 0 or the errno of the failed step; `step` names it ("write",
// "fsync", "rename", ...). The temporary file never outlives a failure.
int replaceFileAtomically(const std::string& path, std::string_view content, std::string& step);

}  // namespace mvcomm::cli
