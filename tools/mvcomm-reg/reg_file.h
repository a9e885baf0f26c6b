// File: tools/mvcomm-reg/reg_file.h
//
// The registry editor's text format (REGEDIT4), read and written:
//
//   REGEDIT4
//
//   [HKEY_CLASSES_ROOT\CLSID\{...}]        a key (created on import)
//   @="MVComm.MVComm.1.0"                  its default value
//   "AppID"="{...}"                        a named string; \\ and \" escaped
//   "Count"=dword:0000002a                 a REG_DWORD
//   "Raw"=hex:01,02,\                      REG_BINARY; hex(N): any other type,
//     03                                   continued after a trailing backslash
//   "Old"=-                                a value to delete
//   [-HKEY_CLASSES_ROOT\Stale]             a tree to delete
//
// Strings that cannot be written between quotes (line breaks, control
// characters, inner NULs) are exported as hex(1) so the round trip is exact.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/winreg.h"

namespace mvcomm::regfile {

struct ValueLine {
  std::string name;      // empty: the default value (@)
  bool remove = false;   // "name"=-
  DWORD type = REG_SZ;   // REG_SZ, REG_DWORD, REG_BINARY or the N of hex(N)
  std::string data;      // bytes as stored; strings with their terminator
};

struct Section {
  std::string path;               // below HKEY_CLASSES_ROOT; empty for the root
  bool remove = false;            // [-...]: delete the tree
  std::vector<ValueLine> values;  // in file order
};

struct RegFile {
  std::vector<Section> sections;  // in file order
};

// Parses a whole file. On failure returns false with "line N: what" in
// `error` and leaves `out` unspecified; nothing is applied by parsing.
bool parse(std::string_view text, RegFile& out, std::string& error);

// Applies a parsed file as one transaction: all of it or none, and nothing
// to a database that fails its check (ERROR_BADDB). Returns the registry
// error number; `where` names the key or value that failed.
LONG apply(const RegFile& file, std::string& where);

// Deletes HKEY_CLASSES_ROOT\path and everything below it. Like apply(), it
// first checks the database and changes nothing in a damaged one
// (ERROR_BADDB). ERROR_ACCESS_DENIED for the root itself.
LONG deleteTree(const std::string& path);

// Writes HKEY_CLASSES_ROOT\path and everything below it (the whole registry
// for an empty path) in the format above, as one consistent snapshot.
// Errors: ERROR_FILE_NOT_FOUND for a missing key, ERROR_BADDB for a database
// that fails its check, the registry's others.
LONG exportTree(const std::string& path, std::string& out);

// Accepts "HKEY_CLASSES_ROOT\X", "HKCR\X" or a bare "X" and gives "X".
// False for another root ("HKEY_LOCAL_MACHINE\X") or a malformed path.
bool keyArgument(std::string_view argument, std::string& path);

// A short description of a registry error number, for messages.
std::string errorText(LONG error);

}  // namespace mvcomm::regfile
