// File: tools/mvcomm-reg/reg_file_parse.cc
//
// Reads the REGEDIT4 text format. Parsing is strict and bounded: every line
// is checked, names and data are held to the registry's limits, and a bad
// line stops the parse with its number, before anything touches the registry.
#include <cctype>
#include <cstdint>

#include "tools/mvcomm-reg/reg_file.h"

namespace mvcomm::regfile {
namespace {

constexpr std::string_view kRootName = "HKEY_CLASSES_ROOT";
constexpr std::string_view kRootShort = "HKCR";

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A quoted string starting at text[0] == '"'; `rest` gets what follows it.
bool quoted(std::string_view text, std::string& out, std::string_view& rest, std::string& why) {
  out.clear();
  for (std::size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      rest = text.substr(i + 1);
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) {
        why = "bad escape in a quoted string (only \\\\ and \\\" are allowed)";
        return false;
      }
      c = text[++i];
    }
    out += c;
  }
  why = "unterminated quoted string";
  return false;
}

bool hexBytes(std::string_view text, std::string& out, std::string& why) {
  out.clear();
  text = trim(text);
  while (!text.empty()) {
    if (text.size() < 2 || hexDigit(text[0]) < 0 || hexDigit(text[1]) < 0) {
      why = "bad hex byte (expected two hex digits)";
      return false;
    }
    out += static_cast<char>(hexDigit(text[0]) * 16 + hexDigit(text[1]));
    if (out.size() > MVCOMM_REG_MAX_VALUE_DATA) {
      why = "value data too long";
      return false;
    }
    text = trim(text.substr(2));
    if (text.empty()) break;
    if (text.front() != ',') {
      why = "bad hex list (expected a comma)";
      return false;
    }
    text = trim(text.substr(1));
    if (text.empty()) {
      why = "hex list ends in a comma";
      return false;
    }
  }
  return true;
}

// The data after '=' of a value line.
bool valueData(std::string_view text, ValueLine& value, std::string& why) {
  text = trim(text);
  if (text == "-") {
    value.remove = true;
    return true;
  }
  if (!text.empty() && text.front() == '"') {
    std::string_view rest;
    if (!quoted(text, value.data, rest, why)) return false;
    if (!trim(rest).empty()) {
      why = "text after the closing quote";
      return false;
    }
    if (value.data.size() >= MVCOMM_REG_MAX_VALUE_DATA) {
      why = "value data too long";
      return false;
    }
    value.type = REG_SZ;
    value.data += '\0';
    return true;
  }
  if (text.substr(0, 6) == "dword:") {
    std::string_view digits = text.substr(6);
    if (digits.empty() || digits.size() > 8) {
      why = "bad dword (expected 1 to 8 hex digits)";
      return false;
    }
    std::uint32_t number = 0;
    for (char c : digits) {
      if (hexDigit(c) < 0) {
        why = "bad dword (expected 1 to 8 hex digits)";
        return false;
      }
      number = number * 16 + static_cast<std::uint32_t>(hexDigit(c));
    }
    value.type = REG_DWORD;
    value.data.assign(4, '\0');
    for (int i = 0; i < 4; ++i) value.data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return true;
  }
  if (text.substr(0, 4) == "hex:") {
    value.type = REG_BINARY;
    return hexBytes(text.substr(4), value.data, why);
  }
  if (text.substr(0, 4) == "hex(") {
    std::string_view::size_type close = text.find("):");
    std::string_view digits = close == std::string_view::npos ? std::string_view() : text.substr(4, close - 4);
    if (digits.empty() || digits.size() > 8) {
      why = "bad hex(type) prefix";
      return false;
    }
    DWORD type = 0;
    for (char c : digits) {
      if (hexDigit(c) < 0) {
        why = "bad hex(type) prefix";
        return false;
      }
      type = type * 16 + static_cast<DWORD>(hexDigit(c));
    }
    value.type = type;
    return hexBytes(text.substr(close + 2), value.data, why);
  }
  why = "unknown value data (expected \"text\", dword:, hex:, hex(N): or -)";
  return false;
}

// "[...]" with the brackets already found; fills the section's path.
bool sectionHeader(std::string_view inside, Section& section, std::string& why) {
  if (!inside.empty() && inside.front() == '-') {
    section.remove = true;
    inside.remove_prefix(1);
  }
  bool underRoot = inside.size() >= kRootName.size() &&
                   equalsIgnoringCase(inside.substr(0, kRootName.size()), kRootName) &&
                   (inside.size() == kRootName.size() || inside[kRootName.size()] == '\\');
  if (!underRoot) {
    why = "only keys under HKEY_CLASSES_ROOT can be imported";
    return false;
  }
  if (inside.find('\0') != std::string_view::npos) {
    why = "NUL in a key name";
    return false;
  }
  std::string path;
  if (!keyArgument(inside, path)) {
    why = "bad key path (an empty name, a name over 255 characters, or a control character)";
    return false;
  }
  section.path = std::move(path);
  return true;
}

}  // namespace

bool keyArgument(std::string_view argument, std::string& path) {
  std::string_view rest = argument;
  for (std::string_view root : {kRootName, kRootShort}) {
    if (rest.size() >= root.size() && equalsIgnoringCase(rest.substr(0, root.size()), root) &&
        (rest.size() == root.size() || rest[root.size()] == '\\')) {
      rest.remove_prefix(root.size());
      if (!rest.empty()) rest.remove_prefix(1);
      break;
    }
    if (rest.substr(0, 5) == "HKEY_" && root == kRootShort) return false;  // another root
  }
  if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  if (!rest.empty() && rest.front() == '\\') return false;
  std::size_t start = 0;
  while (start < rest.size()) {
    std::size_t cut = rest.find('\\', start);
    if (cut == std::string_view::npos) cut = rest.size();
    if (cut == start || cut - start > MVCOMM_REG_MAX_KEY_NAME) return false;
    for (std::size_t i = start; i < cut; ++i) {
      if (static_cast<unsigned char>(rest[i]) < 0x20) return false;  // the registry refuses them
    }
    start = cut + 1;
  }
  path.assign(rest);
  return true;
}

bool parse(std::string_view text, RegFile& out, std::string& error) {
  out.sections.clear();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  bool sawHeader = false;
  std::size_t lineNumber = 0;
  std::string why;
  auto fail = [&](std::size_t line, const std::string& what) {
    error = "line " + std::to_string(line) + ": " + what;
    return false;
  };
  while (!text.empty()) {
    std::size_t cut = text.find('\n');
    std::string_view raw = text.substr(0, cut);
    text = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);
    ++lineNumber;
    std::string_view line = trim(raw);
    if (line.empty() || line.front() == ';') continue;
    if (!sawHeader) {
      if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00") {
        return fail(lineNumber, "not a registry file (expected REGEDIT4)");
      }
      sawHeader = true;
      continue;
    }
    if (line.front() == '[') {
      if (line.back() != ']') return fail(lineNumber, "section without a closing ]");
      Section section;
      if (!sectionHeader(line.substr(1, line.size() - 2), section, why)) return fail(lineNumber, why);
      out.sections.push_back(std::move(section));
      continue;
    }
    // A value line: join hex continuations (a trailing backslash).
    std::size_t firstLine = lineNumber;
    std::string joined(line);
    // Only hex lists continue, and they break after a comma ("01,02,\").
    while (joined.size() >= 2 && joined.back() == '\\' &&
           trim(std::string_view(joined).substr(0, joined.size() - 1)).back() == ',') {
      joined.pop_back();
      if (text.empty()) return fail(firstLine, "continued line at the end of the file");
      cut = text.find('\n');
      std::string_view next = trim(text.substr(0, cut));
      text = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);
      ++lineNumber;
      joined += next;
      if (joined.size() > 4 * static_cast<std::size_t>(MVCOMM_REG_MAX_VALUE_DATA)) {
        return fail(firstLine, "value data too long");
      }
    }
    if (out.sections.empty()) return fail(firstLine, "value before any [key] section");
    Section& section = out.sections.back();
    if (section.remove) return fail(firstLine, "value inside a [-key] deletion");
    ValueLine value;
    std::string_view rest;
    std::string_view view(joined);
    if (view.front() == '@') {
      rest = trim(view.substr(1));
    } else if (view.front() == '"') {
      if (!quoted(view, value.name, rest, why)) return fail(firstLine, why);
      if (value.name.empty()) return fail(firstLine, "empty value name (use @ for the default value)");
      if (value.name.size() > MVCOMM_REG_MAX_VALUE_NAME) return fail(firstLine, "value name too long");
      if (value.name.find('\0') != std::string::npos) return fail(firstLine, "NUL in a value name");
      rest = trim(rest);
    } else {
      return fail(firstLine, "expected [key], @=, \"name\"= or a comment");
    }
    if (rest.empty() || rest.front() != '=') return fail(firstLine, "expected = after the value name");
    if (!valueData(rest.substr(1), value, why)) return fail(firstLine, why);
    section.values.push_back(std::move(value));
  }
  if (!sawHeader) return fail(lineNumber == 0 ? 1 : lineNumber, "not a registry file (expected REGEDIT4)");
  return true;
}

}  // namespace mvcomm::regfile
