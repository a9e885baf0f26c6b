// File: tools/mvcomm-reg/reg_file_write.cc
//
// Applies a parsed file to the registry, deletes a tree, and exports a tree
// in the file's format. Each runs inside one registry batch: a change lands
// whole or not at all, on a database checked first, and an export is one
// consistent snapshot.
#include <cstdio>
#include <vector>

#include "platform/registry/registry_batch.h"
#include "tools/mvcomm-reg/reg_file.h"

namespace mvcomm::regfile {
namespace {

constexpr std::string_view kRootName = "HKEY_CLASSES_ROOT";
constexpr std::size_t kHexLineWidth = 76;  // wrap hex lists as the format's readers expect

std::string escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

// True when `data` is a string that survives the quoted form unchanged:
// one terminator at the end, no other NUL, no line breaks or control bytes.
bool quotable(std::string_view data) {
  if (data.empty() || data.back() != '\0') return false;
  for (std::size_t i = 0; i + 1 < data.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (c < 0x20 && c != '\t') return false;
  }
  return true;
}

void appendHex(std::string& out, std::size_t prefixLength, std::string_view data) {
  std::size_t column = prefixLength;
  char byte[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
    out += byte;
    column += 2;
    if (i + 1 < data.size()) {
      out += ',';
      ++column;
      if (column >= kHexLineWidth) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
}

void appendValue(std::string& out, const std::string& name, DWORD type, std::string_view data) {
  std::size_t lineStart = out.size();
  out += name.empty() ? std::string("@") : "\"" + escaped(name) + "\"";
  out += '=';
  if (type == REG_SZ && quotable(data)) {
    out += '"' + escaped(data.substr(0, data.size() - 1)) + '"';
  } else if (type == REG_DWORD && data.size() == 4) {
    unsigned number = 0;
    for (int i = 3; i >= 0; --i) number = number * 256 + static_cast<unsigned char>(data[i]);
    char digits[16];
    std::snprintf(digits, sizeof digits, "dword:%08x", number);
    out += digits;
  } else {
    if (type == REG_BINARY) {
      out += "hex:";
    } else {
      char prefix[24];
      std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
      out += prefix;
    }
    appendHex(out, out.size() - lineStart, data);
  }
  out += '\n';
}

// One key's section: header, values, blank line. Fills `children` with the
// key's subkey names in order.
LONG exportSection(HKEY key, const std::string& path, std::string& out, std::vector<std::string>& children) {
  out += '[';
  out += kRootName;
  if (!path.empty()) out += "\\" + path;
  out += "]\n";
  std::vector<char> name(MVCOMM_REG_MAX_VALUE_NAME + 1);
  std::string data;
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD size = 0;
    LONG err = RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, nullptr, &size);
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err != ERROR_SUCCESS) return err;
    data.assign(size, '\0');
    nameLength = static_cast<DWORD>(name.size());
    err = RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                        &size);
    if (err != ERROR_SUCCESS) return err;
    data.resize(size);
    appendValue(out, std::string(name.data(), nameLength), type, data);
  }
  out += '\n';
  children.clear();
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    LONG err = RegEnumKeyExA(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err != ERROR_SUCCESS) return err;
    children.emplace_back(name.data(), nameLength);
  }
  return ERROR_SUCCESS;
}

// Depth first, parents before children, siblings in name order; iterative,
// so a deep tree cannot exhaust the stack.
LONG exportKeys(const std::string& top, std::string& out) {
  std::vector<std::string> pending{top};
  std::vector<std::string> children;
  while (!pending.empty()) {
    std::string path = std::move(pending.back());
    pending.pop_back();
    HKEY key = nullptr;
    LONG err = RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
    if (err != ERROR_SUCCESS) return err;
    err = exportSection(key, path, out, children);
    RegCloseKey(key);
    if (err != ERROR_SUCCESS) return err;
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
      pending.push_back(path.empty() ? *child : path + "\\" + *child);
    }
  }
  return ERROR_SUCCESS;
}

std::string rooted(const std::string& path) {
  return path.empty() ? std::string(kRootName) : std::string(kRootName) + "\\" + path;
}

}  // namespace

LONG apply(const RegFile& file, std::string& where) {
  registry::Batch batch;
  where = "the registry database";
  if (LONG err = batch.check(); err != ERROR_SUCCESS) return err;
  for (const Section& section : file.sections) {
    where = rooted(section.path);
    if (section.remove) {
      if (section.path.empty()) return ERROR_ACCESS_DENIED;  // never the whole registry
      LONG err = RegDeleteTreeA(HKEY_CLASSES_ROOT, section.path.c_str());
      if (err != ERROR_SUCCESS && err != ERROR_FILE_NOT_FOUND) return err;
      continue;
    }
    HKEY key = nullptr;
    LONG err = RegCreateKeyExA(HKEY_CLASSES_ROOT, section.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (err != ERROR_SUCCESS) return err;
    for (const ValueLine& value : section.values) {
      where = rooted(section.path) + (value.name.empty() ? " @" : " \"" + value.name + "\"");
      if (value.remove) {
        err = RegDeleteValueA(key, value.name.c_str());
        if (err == ERROR_FILE_NOT_FOUND) err = ERROR_SUCCESS;
      } else {
        err = RegSetValueExA(key, value.name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                             static_cast<DWORD>(value.data.size()));
      }
      if (err != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    if (err != ERROR_SUCCESS) return err;
  }
  where = "the registry database";
  return batch.commit();
}

LONG deleteTree(const std::string& path) {
  if (path.empty()) return ERROR_ACCESS_DENIED;
  registry::Batch batch;
  if (LONG err = batch.check(); err != ERROR_SUCCESS) return err;
  if (LONG err = RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str()); err != ERROR_SUCCESS) return err;
  return batch.commit();
}

LONG exportTree(const std::string& path, std::string& out) {
  registry::Batch batch;  // one snapshot: no writer lands halfway through
  if (LONG err = batch.check(); err != ERROR_SUCCESS) return err;
  out = "REGEDIT4\n\n";
  return exportKeys(path, out);
}

std::string errorText(LONG error) {
  switch (error) {
    case ERROR_SUCCESS: return "done";
    case ERROR_FILE_NOT_FOUND: return "no such key or value";
    case ERROR_ACCESS_DENIED: return "refused (the key has subkeys, or is the root)";
    case ERROR_INVALID_HANDLE: return "invalid handle";
    case ERROR_NOT_ENOUGH_MEMORY: return "out of memory";
    case ERROR_INVALID_PARAMETER: return "invalid name or data";
    case ERROR_DISK_FULL: return "disk full";
    case ERROR_BAD_PATHNAME: return "bad key path";
    case ERROR_BUSY: return "the registry database stayed locked by another process";
    case ERROR_BADDB: return "the registry database is damaged, or the file is not one";
    case ERROR_CANTOPEN: return "cannot open the registry database";
    case ERROR_KEY_DELETED: return "the key was deleted meanwhile";
    default: return "registry I/O failed";
  }
}

}  // namespace mvcomm::regfile
