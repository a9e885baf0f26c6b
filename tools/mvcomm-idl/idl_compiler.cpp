// File: tools/mvcomm-idl/idl_compiler.cpp
//
// A recursive-descent compiler for our IDL subset, and its inverse printer.
//
// Sections: lexer, attributes, types, interface / coclass / library blocks,
// name resolution, printer.
#include "tools/mvcomm-idl/idl_compiler.h"

#include "platform/ole/typelib/tlb_io.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace mvcomm::idl {

using namespace mvcomm::typelib;

namespace {

struct Error {
  int line;
  std::string what;
};

// ---- lexer ----------------------------------------------------------------

enum class Tok { kEnd, kIdent, kNumber, kString, kPunct };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;  // identifier, number text, decoded string, or the punctuation
  int line = 1;
};

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  const Token& peek() {
    if (!have_) {
      cur_ = lex();
      have_ = true;
    }
    return cur_;
  }
  Token next() {
    peek();
    have_ = false;
    return cur_;
  }
  int line() { return peek().line; }

  // The raw text up to the ')' closing an attribute argument (the '(' has been
  // taken), nested parentheses and strings included; the ')' is consumed.
  std::string rawArgument() {
    if (have_) throw Error{cur_.line, "internal: lookahead before raw argument"};
    std::string out;
    int depth = 0;
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (c == '\n') ++line_;
      if (c == '"') {
        out += c;
        ++pos_;
        while (pos_ < s_.size() && s_[pos_] != '"') {
          if (s_[pos_] == '\\' && pos_ + 1 < s_.size()) out += s_[pos_++];
          if (s_[pos_] == '\n') ++line_;
          out += s_[pos_++];
        }
        if (pos_ >= s_.size()) break;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')') {
        if (depth == 0) {
          ++pos_;
          return out;
        }
        --depth;
      }
      out += s_[pos_++];
    }
    throw Error{line_, "unterminated attribute argument"};
  }

 private:
  Token lex() {
    skipSpace();
    Token t;
    t.line = line_;
    if (pos_ >= s_.size()) return t;
    char c = s_[pos_];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      t.kind = Tok::kIdent;
      while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_'))
        t.text += s_[pos_++];
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      t.kind = Tok::kNumber;
      while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '.'))
        t.text += s_[pos_++];
    } else if (c == '"') {
      t.kind = Tok::kString;
      ++pos_;
      t.text = decodeString(t.line);
    } else if (std::string_view("[](){},;:*=-").find(c) != std::string_view::npos) {
      t.kind = Tok::kPunct;
      t.text = c;
      ++pos_;
    } else {
      throw Error{line_, std::string("unexpected character '") + printable(c) + "'"};
    }
    return t;
  }

  static std::string printable(char c) {
    if (std::isprint(static_cast<unsigned char>(c))) return std::string(1, c);
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
    return buf;
  }

  std::string decodeString(int startLine) {
    std::string out;
    while (pos_ < s_.size()) {
      char c = s_[pos_++];
      if (c == '"') return out;
      if (c == '\n') throw Error{startLine, "newline in string"};
      if (c == '\0') throw Error{startLine, "NUL in string"};
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) break;
      char e = s_[pos_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'x': {
          int v = 0, n = 0;
          while (n < 2 && pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) {
            char h = s_[pos_++];
            v = v * 16 + (std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::tolower(h) - 'a' + 10));
            ++n;
          }
          if (n == 0 || v == 0) throw Error{line_, "bad \\x escape"};
          out += static_cast<char>(v);
          break;
        }
        default:
          throw Error{line_, std::string("unknown escape \\") + printable(e)};
      }
    }
    throw Error{startLine, "unterminated string"};
  }

  void skipSpace() {
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (s_.substr(pos_, 2) == "//") {
        while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
      } else if (s_.substr(pos_, 2) == "/*") {
        int start = line_;
        size_t end = s_.find("*/", pos_ + 2);
        if (end == std::string_view::npos) throw Error{start, "unterminated comment"};
        for (size_t i = pos_; i < end; ++i)
          if (s_[i] == '\n') ++line_;
        pos_ = end + 2;
      } else {
        return;
      }
    }
  }

  std::string_view s_;
  size_t pos_ = 0;
  int line_ = 1;
  Token cur_;
  bool have_ = false;
};

// ---- attributes -------------------------------------------------------------

struct Attr {
  std::string name;
  std::optional<std::string> arg;  // raw text between the parentheses
  int line = 0;
};
using Attrs = std::vector<Attr>;

std::string trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

// A decimal, hexadecimal (0x) or negative decimal integer of 32 bits.
int64_t parseInteger(const std::string& raw, int line, int64_t lo, int64_t hi) {
  std::string s = trim(raw);
  bool neg = !s.empty() && s[0] == '-';
  std::string body = trim(neg ? std::string_view(s).substr(1) : std::string_view(s));
  int base = 10;
  if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
    base = 16;
    body = body.substr(2);
  }
  if (body.empty() || body.size() > 10) throw Error{line, "bad number '" + s + "'"};
  int64_t v = 0;
  for (char c : body) {
    int d;
    if (std::isdigit(static_cast<unsigned char>(c))) d = c - '0';
    else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) d = std::tolower(c) - 'a' + 10;
    else throw Error{line, "bad number '" + s + "'"};
    v = v * base + d;
  }
  if (neg) v = -v;
  if (v < lo || v > hi) throw Error{line, "number out of range '" + s + "'"};
  return v;
}

std::string parseStringArg(const Attr& a) {
  std::string s = trim(*a.arg);
  Lexer lx(s);
  Token t = lx.next();
  if (t.kind != Tok::kString || lx.next().kind != Tok::kEnd)
    throw Error{a.line, a.name + " needs one string"};
  return t.text;
}

void parseVersion(const Attr& a, uint16_t* major, uint16_t* minor) {
  std::string s = trim(*a.arg);
  size_t dot = s.find('.');
  *major = static_cast<uint16_t>(parseInteger(s.substr(0, dot), a.line, 0, 65535));
  *minor = dot == std::string::npos
               ? 0
               : static_cast<uint16_t>(parseInteger(s.substr(dot + 1), a.line, 0, 65535));
}

// Interprets a block's attributes: every one must be known in the context.
class AttrReader {
 public:
  AttrReader(const Attrs& attrs, const char* context) : attrs_(attrs), context_(context) {
    used_.assign(attrs.size(), false);
  }
  const Attr* take(const char* name, bool withArg) {
    const Attr* found = nullptr;
    for (size_t i = 0; i < attrs_.size(); ++i) {
      if (attrs_[i].name != name) continue;
      if (found) throw Error{attrs_[i].line, std::string("repeated attribute ") + name};
      if (attrs_[i].arg.has_value() != withArg)
        throw Error{attrs_[i].line, std::string("attribute ") + name +
                                        (withArg ? " needs an argument" : " takes no argument")};
      used_[i] = true;
      found = &attrs_[i];
    }
    return found;
  }
  bool flag(const char* name) { return take(name, false) != nullptr; }
  void finish() {
    for (size_t i = 0; i < attrs_.size(); ++i)
      if (!used_[i])
        throw Error{attrs_[i].line, "attribute '" + attrs_[i].name + "' not supported on " + context_};
  }

 private:
  const Attrs& attrs_;
  const char* context_;
  std::vector<bool> used_;
};

// ---- the parse, with names still unresolved ----------------------------------

struct PendingType {
  TypeRef ref;
  std::string userName;  // for kVtUserDefined, resolved later
  int line = 0;
};

struct PendingParam {
  Param param;
  PendingType type;
};

struct PendingFunc {
  Func func;
  PendingType result;
  std::vector<PendingParam> params;
  bool explicitId = false;
  int line = 0;
};

struct PendingImpl {
  std::string name;
  uint16_t flags = 0;
  int line = 0;
};

struct PendingTypeEntry {
  TypeEntry entry;
  std::vector<PendingFunc> funcs;
  std::vector<PendingImpl> impls;
  int line = 0;
};

struct BaseName {
  const char* idl;
  uint16_t vt;
};
constexpr BaseName kBaseTypes[] = {
    {"short", kVtI2},      {"long", kVtI4},          {"int", kVtInt},
    {"float", kVtR4},      {"double", kVtR8},        {"CURRENCY", kVtCy},
    {"DATE", kVtDate},     {"BSTR", kVtBstr},        {"SCODE", kVtError},
    {"VARIANT_BOOL", kVtBool}, {"VARIANT", kVtVariant}, {"DECIMAL", kVtDecimal},
    {"char", kVtI1},       {"BYTE", kVtUi1},         {"hyper", kVtI8},
    {"void", kVtVoid},     {"HRESULT", kVtHresult},  {"IDispatch", kVtDispatch},
    {"IUnknown", kVtUnknown},
    // Aliases read but never printed.
    {"CY", kVtCy},         {"LONG", kVtI4},          {"SHORT", kVtI2},
    {"INT", kVtInt},       {"ULONG", kVtUi4},        {"USHORT", kVtUi2},
    {"UINT", kVtUint},     {"__int64", kVtI8},       {"LONGLONG", kVtI8},
    {"ULONGLONG", kVtUi8}, {"boolean", kVtUi1},
};

class Parser {
 public:
  Parser(std::string_view text) : lx_(text) {}

  Library run() {
    bool haveLibrary = false;
    while (lx_.peek().kind != Tok::kEnd) {
      if (isIdent("import")) {
        lx_.next();
        do expect(Tok::kString, "file name");
        while (acceptPunct(","));
        expectPunct(";");
        continue;
      }
      Attrs attrs = attributes();
      Token kw = expect(Tok::kIdent, "library, interface or coclass");
      if (kw.text == "library") {
        if (haveLibrary) throw Error{kw.line, "a second library block"};
        library(attrs, kw.line);
        haveLibrary = true;
      } else if (kw.text == "interface") {
        interface(attrs, kw.line);
      } else if (kw.text == "coclass") {
        coclass(attrs, kw.line);
      } else {
        throw Error{kw.line, "'" + kw.text + "' is not supported here"};
      }
    }
    if (!haveLibrary) throw Error{lx_.line(), "no library block"};
    resolve();
    std::string fault = CheckLibrary(lib_);
    if (!fault.empty()) throw Error{0, fault};
    // Whatever compiles must load: the reader's limits (string lengths,
    // counts) apply to the compiler's output too.
    std::vector<uint8_t> bytes = WriteLibrary(lib_);
    Library check;
    if (ReadLibrary(bytes.data(), bytes.size(), &check, &fault) != ReadResult::kOk)
      throw Error{0, "the library would not load: " + fault};
    return std::move(lib_);
  }

 private:
  // -- token helpers
  bool isIdent(const char* s) { return lx_.peek().kind == Tok::kIdent && lx_.peek().text == s; }
  bool isPunct(const char* s) { return lx_.peek().kind == Tok::kPunct && lx_.peek().text == s; }
  bool acceptPunct(const char* s) {
    if (!isPunct(s)) return false;
    lx_.next();
    return true;
  }
  Token expect(Tok kind, const char* what) {
    Token t = lx_.next();
    if (t.kind != kind) throw Error{t.line, std::string("expected ") + what + describe(t)};
    return t;
  }
  void expectPunct(const char* p) {
    Token t = lx_.next();
    if (t.kind != Tok::kPunct || t.text != p)
      throw Error{t.line, std::string("expected '") + p + "'" + describe(t)};
  }
  static std::string describe(const Token& t) {
    if (t.kind == Tok::kEnd) return " at end of input";
    if (t.kind == Tok::kString) return " before a string";
    return " before '" + t.text + "'";
  }

  Attrs attributes() {
    Attrs out;
    if (!acceptPunct("[")) return out;
    do {
      Token name = expect(Tok::kIdent, "attribute name");
      Attr a{name.text, std::nullopt, name.line};
      if (isPunct("(")) {
        lx_.next();
        a.arg = lx_.rawArgument();
      }
      out.push_back(std::move(a));
    } while (acceptPunct(","));
    expectPunct("]");
    return out;
  }

  // -- blocks
  void library(const Attrs& attrs, int line) {
    AttrReader r(attrs, "a library");
    const Attr* uuid = r.take("uuid", true);
    if (!uuid) throw Error{line, "library needs a uuid"};
    guid(*uuid, &lib_.guid);
    if (const Attr* v = r.take("version", true)) parseVersion(*v, &lib_.verMajor, &lib_.verMinor);
    if (const Attr* l = r.take("lcid", true))
      lib_.lcid = static_cast<uint32_t>(parseInteger(*l->arg, l->line, 0, 0xFFFFFFFFll));
    if (const Attr* h = r.take("helpstring", true)) lib_.help = parseStringArg(*h);
    if (const Attr* h = r.take("helpfile", true)) lib_.helpFile = parseStringArg(*h);
    if (const Attr* h = r.take("helpcontext", true))
      lib_.helpContext = static_cast<uint32_t>(parseInteger(*h->arg, h->line, 0, 0xFFFFFFFFll));
    if (r.flag("restricted")) lib_.flags |= kLibRestricted;
    if (r.flag("control")) lib_.flags |= kLibControl;
    if (r.flag("hidden")) lib_.flags |= kLibHidden;
    r.finish();
    lib_.name = expect(Tok::kIdent, "library name").text;
    expectPunct("{");
    while (!acceptPunct("}")) {
      if (isIdent("importlib")) {
        importlib();
        continue;
      }
      Attrs inner = attributes();
      Token kw = expect(Tok::kIdent, "importlib, interface or coclass");
      if (kw.text == "interface") interface(inner, kw.line);
      else if (kw.text == "coclass") coclass(inner, kw.line);
      else throw Error{kw.line, "'" + kw.text + "' is not supported in a library"};
    }
    acceptPunct(";");
  }

  void importlib() {
    int line = lx_.next().line;
    expectPunct("(");
    Token file = expect(Tok::kString, "a type library file");
    expectPunct(")");
    expectPunct(";");
    std::string lower;
    for (char c : file.text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower != StdOle::kFile)
      throw Error{line, "only importlib(\"stdole2.tlb\") is supported, not \"" + file.text + "\""};
    for (const Import& im : lib_.imports)
      if (im.guid == StdOle::kLibId) return;
    lib_.imports.push_back(Import{file.text, StdOle::kLibId, 2, 0, 0});
  }

  void guid(const Attr& a, Guid* out) {
    if (!GuidFromText(trim(*a.arg), out)) throw Error{a.line, "bad uuid '" + trim(*a.arg) + "'"};
  }

  bool defined(const std::string& name) const {
    for (const PendingTypeEntry& t : types_)
      if (t.entry.name == name) return true;
    return false;
  }

  void interface(const Attrs& attrs, int line) {
    Token name = expect(Tok::kIdent, "interface name");
    if (acceptPunct(";")) {  // forward declaration
      if (!attrs.empty()) throw Error{line, "attributes on a forward declaration"};
      return;
    }
    if (defined(name.text)) throw Error{name.line, "'" + name.text + "' defined twice"};
    PendingTypeEntry t;
    t.line = line;
    t.entry.name = name.text;
    t.entry.kind = kTkindInterface;
    AttrReader r(attrs, "an interface");
    const Attr* uuid = r.take("uuid", true);
    if (!uuid) throw Error{line, "interface needs a uuid"};
    guid(*uuid, &t.entry.guid);
    r.flag("object");
    if (r.take("pointer_default", true)) {}
    if (r.flag("dual")) t.entry.flags |= kTypeDual | kTypeOleAutomation;
    if (r.flag("oleautomation")) t.entry.flags |= kTypeOleAutomation;
    if (r.flag("nonextensible")) t.entry.flags |= kTypeNonExtensible;
    if (r.flag("hidden")) t.entry.flags |= kTypeHidden;
    if (r.flag("restricted")) t.entry.flags |= kTypeRestricted;
    if (const Attr* h = r.take("helpstring", true)) t.entry.help = parseStringArg(*h);
    if (const Attr* h = r.take("helpcontext", true))
      t.entry.helpContext = static_cast<uint32_t>(parseInteger(*h->arg, h->line, 0, 0xFFFFFFFFll));
    if (const Attr* v = r.take("version", true)) parseVersion(*v, &t.entry.verMajor, &t.entry.verMinor);
    r.finish();
    if (acceptPunct(":")) {
      Token base = expect(Tok::kIdent, "base interface");
      t.impls.push_back(PendingImpl{base.text, 0, base.line});
    }
    expectPunct("{");
    while (!acceptPunct("}")) t.funcs.push_back(method(t.entry.flags));
    acceptPunct(";");
    types_.push_back(std::move(t));
  }

  PendingFunc method(uint16_t typeFlags) {
    PendingFunc f;
    Attrs attrs = attributes();
    f.line = lx_.line();
    f.result = type();
    f.func.name = expect(Tok::kIdent, "method name").text;
    AttrReader r(attrs, "a method");
    if (const Attr* id = r.take("id", true)) {
      f.func.memid = static_cast<int32_t>(parseInteger(*id->arg, id->line, INT32_MIN, 0xFFFFFFFFll));
      f.explicitId = true;
    }
    int kinds = 0;
    if (r.flag("propget")) f.func.invkind = kInvokePropertyGet, ++kinds;
    if (r.flag("propput")) f.func.invkind = kInvokePropertyPut, ++kinds;
    if (r.flag("propputref")) f.func.invkind = kInvokePropertyPutRef, ++kinds;
    if (kinds > 1) throw Error{f.line, "more than one of propget, propput, propputref"};
    if (const Attr* h = r.take("helpstring", true)) f.func.help = parseStringArg(*h);
    if (const Attr* h = r.take("helpcontext", true))
      f.func.helpContext = static_cast<uint32_t>(parseInteger(*h->arg, h->line, 0, 0xFFFFFFFFll));
    if (r.flag("restricted")) f.func.flags |= kFuncRestricted;
    if (r.flag("source")) f.func.flags |= kFuncSource;
    if (r.flag("bindable")) f.func.flags |= kFuncBindable;
    if (r.flag("hidden")) f.func.flags |= kFuncHidden;
    if (r.flag("nonbrowsable")) f.func.flags |= kFuncNonBrowsable;
    r.finish();
    expectPunct("(");
    if (isIdent("void")) {
      lx_.next();
      if (isPunct("*")) throw Error{f.line, "void* parameters are not automation types"};
      expectPunct(")");
    } else if (!acceptPunct(")")) {
      do f.params.push_back(param());
      while (acceptPunct(","));
      expectPunct(")");
    }
    expectPunct(";");
    (void)typeFlags;
    return f;
  }

  PendingParam param() {
    PendingParam p;
    Attrs attrs = attributes();
    int line = lx_.line();
    AttrReader r(attrs, "a parameter");
    bool in = r.flag("in"), out = r.flag("out");
    if (!in && !out) in = true;
    if (in) p.param.flags |= kParamIn;
    if (out) p.param.flags |= kParamOut;
    if (r.flag("retval")) p.param.flags |= kParamRetval;
    if (r.flag("optional")) p.param.flags |= kParamOpt;
    if (r.flag("lcid")) p.param.flags |= kParamLcid;
    r.finish();
    p.type = type();
    if (lx_.peek().kind == Tok::kIdent) p.param.name = lx_.next().text;
    if (isPunct("[")) throw Error{line, "array parameters are not supported; use SAFEARRAY"};
    return p;
  }

  PendingType type() {
    PendingType t;
    t.line = lx_.line();
    if (isIdent("const")) lx_.next();
    Token first = expect(Tok::kIdent, "a type");
    if (first.text == "unsigned") {
      uint16_t vt = kVtUint;
      if (lx_.peek().kind == Tok::kIdent) {
        const std::string& w = lx_.peek().text;
        if (w == "char") vt = kVtUi1;
        else if (w == "short") vt = kVtUi2;
        else if (w == "long") vt = kVtUi4;
        else if (w == "int") vt = kVtUint;
        else if (w == "hyper" || w == "__int64") vt = kVtUi8;
        else vt = 0;
        if (vt) lx_.next();
        else vt = kVtUint;
      }
      t.ref.vt = vt;
    } else if (first.text == "SAFEARRAY") {
      expectPunct("(");
      PendingType inner = type();
      expectPunct(")");
      if (inner.ref.safeArray) throw Error{first.line, "SAFEARRAY of SAFEARRAY"};
      if (inner.ref.pointers) throw Error{first.line, "SAFEARRAY of pointers"};
      if (inner.ref.vt == kVtVoid || inner.ref.vt == kVtHresult)
        throw Error{first.line, "SAFEARRAY of a non-automation type"};
      t = inner;
      t.ref.safeArray = true;
    } else {
      bool found = false;
      for (const BaseName& b : kBaseTypes)
        if (first.text == b.idl) {
          t.ref.vt = b.vt;
          found = true;
          break;
        }
      if (!found) {
        t.ref.vt = kVtUserDefined;
        t.userName = first.text;
      }
    }
    int stars = 0;
    while (acceptPunct("*")) ++stars;
    bool iface = t.ref.vt == kVtDispatch || t.ref.vt == kVtUnknown || t.ref.vt == kVtUserDefined;
    if (iface && !t.ref.safeArray) {
      if (stars == 0) throw Error{t.line, "interface '" + first.text + "' used without a pointer"};
      if (t.ref.vt != kVtUserDefined) --stars;  // IDispatch* is the VT_DISPATCH value itself
    }
    if (stars > kMaxPointersForIdl) throw Error{t.line, "too many pointer levels"};
    t.ref.pointers = static_cast<uint8_t>(stars);
    return t;
  }
  static constexpr int kMaxPointersForIdl = 2;

  void coclass(const Attrs& attrs, int line) {
    Token name = expect(Tok::kIdent, "coclass name");
    if (defined(name.text)) throw Error{name.line, "'" + name.text + "' defined twice"};
    PendingTypeEntry t;
    t.line = line;
    t.entry.name = name.text;
    t.entry.kind = kTkindCoclass;
    AttrReader r(attrs, "a coclass");
    const Attr* uuid = r.take("uuid", true);
    if (!uuid) throw Error{line, "coclass needs a uuid"};
    guid(*uuid, &t.entry.guid);
    t.entry.flags = kTypeCanCreate;
    if (r.flag("noncreatable")) t.entry.flags &= ~kTypeCanCreate;
    if (r.flag("appobject")) t.entry.flags |= kTypeAppObject;
    if (r.flag("licensed")) t.entry.flags |= kTypeLicensed;
    if (r.flag("control")) t.entry.flags |= kTypeControl;
    if (r.flag("hidden")) t.entry.flags |= kTypeHidden;
    if (r.flag("aggregatable")) t.entry.flags |= kTypeAggregatable;
    if (const Attr* h = r.take("helpstring", true)) t.entry.help = parseStringArg(*h);
    if (const Attr* h = r.take("helpcontext", true))
      t.entry.helpContext = static_cast<uint32_t>(parseInteger(*h->arg, h->line, 0, 0xFFFFFFFFll));
    if (const Attr* v = r.take("version", true)) parseVersion(*v, &t.entry.verMajor, &t.entry.verMinor);
    r.finish();
    expectPunct("{");
    while (!acceptPunct("}")) {
      Attrs ia = attributes();
      Token kw = expect(Tok::kIdent, "interface");
      if (kw.text != "interface") throw Error{kw.line, "'" + kw.text + "' is not supported in a coclass"};
      PendingImpl im;
      im.line = kw.line;
      im.name = expect(Tok::kIdent, "interface name").text;
      expectPunct(";");
      AttrReader ir(ia, "a coclass member");
      if (ir.flag("default")) im.flags |= kImplDefault;
      if (ir.flag("source")) im.flags |= kImplSource;
      if (ir.flag("restricted")) im.flags |= kImplRestricted;
      if (ir.flag("defaultvtable")) im.flags |= kImplDefaultVtable;
      ir.finish();
      t.impls.push_back(std::move(im));
    }
    acceptPunct(";");
    types_.push_back(std::move(t));
  }

  // -- name resolution
  uint32_t resolveName(const std::string& name, int line) {
    for (size_t i = 0; i < types_.size(); ++i)
      if (types_[i].entry.name == name) {
        if (types_[i].entry.kind == kTkindCoclass)
          throw Error{line, "'" + name + "' is a coclass, not an interface"};
        return static_cast<uint32_t>(i);
      }
    const Guid* g = name == "IUnknown" ? &StdOle::kIUnknown : name == "IDispatch" ? &StdOle::kIDispatch : nullptr;
    if (!g) throw Error{line, "unknown type '" + name + "'"};
    uint32_t import = 0;
    while (import < lib_.imports.size() && lib_.imports[import].guid != StdOle::kLibId) ++import;
    if (import == lib_.imports.size())
      throw Error{line, name + " needs importlib(\"stdole2.tlb\") in the library"};
    for (size_t e = 0; e < lib_.externals.size(); ++e)
      if (lib_.externals[e].name == name) return kExternalRef + static_cast<uint32_t>(e);
    lib_.externals.push_back(ExternalRef{import, name, *g});
    return kExternalRef + static_cast<uint32_t>(lib_.externals.size() - 1);
  }

  TypeRef resolveType(const PendingType& t) {
    TypeRef r = t.ref;
    if (r.vt == kVtUserDefined) r.href = resolveName(t.userName, t.line);
    // Named stdole interfaces are the automation types themselves.
    if (r.vt == kVtUserDefined && r.href >= kExternalRef) {
      r.vt = lib_.externals[r.href - kExternalRef].name == "IDispatch" ? kVtDispatch : kVtUnknown;
      r.href = kNoRef;
      if (!r.safeArray) --r.pointers;
    }
    return r;
  }

  // Slots of an interface's virtual table, and whether it reaches IDispatch.
  void vtableOf(uint32_t href, uint16_t* slots, bool* dispatch, int depth = 0) {
    if (href >= kExternalRef) {
      bool isDispatch = lib_.externals[href - kExternalRef].name == "IDispatch";
      *slots = isDispatch ? StdOle::kIDispatchSlots : StdOle::kIUnknownSlots;
      *dispatch = isDispatch;
      return;
    }
    if (depth > static_cast<int>(types_.size())) throw Error{types_[href].line, "interface inherits from itself"};
    PendingTypeEntry& t = types_[href];
    uint16_t base = 0;
    bool disp = false;
    if (!t.impls.empty()) vtableOf(resolveName(t.impls[0].name, t.impls[0].line), &base, &disp, depth + 1);
    if (base + t.funcs.size() > 0xFFFF) throw Error{t.line, "virtual table too large"};
    *slots = static_cast<uint16_t>(base + t.funcs.size());
    *dispatch = disp;
  }

  void resolve() {
    for (size_t i = 0; i < types_.size(); ++i) {
      PendingTypeEntry& pt = types_[i];
      TypeEntry& e = pt.entry;
      for (const PendingImpl& im : pt.impls) e.impls.push_back(ImplType{resolveName(im.name, im.line), im.flags});
      if (e.kind == kTkindInterface) {
        if (e.impls.empty()) throw Error{pt.line, "interface '" + e.name + "' needs a base interface"};
        uint16_t baseSlots = 0;
        bool dispatch = false;
        vtableOf(e.impls[0].href, &baseSlots, &dispatch);
        if ((e.flags & kTypeDual) && !dispatch)
          throw Error{pt.line, "dual interface '" + e.name + "' must derive from IDispatch"};
        e.vtableSlots = static_cast<uint16_t>(baseSlots + pt.funcs.size());
        int32_t nextId = (e.flags & kTypeDual) ? 0x60020000 : 0x60000000;
        for (size_t k = 0; k < pt.funcs.size(); ++k) {
          PendingFunc& pf = pt.funcs[k];
          Func f = pf.func;
          f.vtableSlot = static_cast<uint16_t>(baseSlots + k);
          if (!pf.explicitId) {
            // A property's accessors share one identifier.
            bool paired = false;
            for (const Func& prev : e.funcs)
              if (prev.name == f.name && prev.invkind != f.invkind) {
                f.memid = prev.memid;
                paired = true;
                break;
              }
            if (!paired) f.memid = nextId + static_cast<int32_t>(k);
          }
          f.result = resolveType(pf.result);
          for (const PendingParam& pp : pf.params) {
            Param p = pp.param;
            p.type = resolveType(pp.type);
            f.params.push_back(std::move(p));
          }
          e.funcs.push_back(std::move(f));
        }
      }
      lib_.types.push_back(e);
    }
  }

  Lexer lx_;
  Library lib_;
  std::vector<PendingTypeEntry> types_;
};

// ---- printer -----------------------------------------------------------------

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string guidText(const Guid& g) {
  std::string s = GuidToText(g);
  return s.substr(1, 36);
}

std::string hex(uint32_t v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", width, v);
  return buf;
}

std::string memidText(int32_t id) {
  if (id >= -0xFFFF && id <= 0xFFFF) return std::to_string(id);
  return hex(static_cast<uint32_t>(id), 8);
}

void joinAttrs(std::string& out, const std::vector<std::string>& attrs, const char* indent, bool multiline) {
  if (attrs.empty()) return;
  if (!multiline) {
    out += indent;
    out += "[";
    for (size_t i = 0; i < attrs.size(); ++i) out += (i ? ", " : "") + attrs[i];
    out += "]\n";
    return;
  }
  out += indent;
  out += "[\n";
  for (size_t i = 0; i < attrs.size(); ++i) {
    out += indent;
    out += "  " + attrs[i] + (i + 1 < attrs.size() ? ",\n" : "\n");
  }
  out += indent;
  out += "]\n";
}

std::string refName(const Library& lib, uint32_t href) {
  if (href < kExternalRef) return href < lib.types.size() ? lib.types[href].name : "?";
  uint32_t e = href - kExternalRef;
  return e < lib.externals.size() ? lib.externals[e].name : "?";
}

std::string typeText(const Library& lib, const TypeRef& t) {
  std::string base;
  int extraStars = 0;
  if (t.vt == kVtUserDefined) {
    base = refName(lib, t.href);
    if (t.safeArray) extraStars = 1;  // SAFEARRAY(IFoo*)
  } else if (t.vt == kVtUi1) base = "unsigned char";
  else if (t.vt == kVtUi2) base = "unsigned short";
  else if (t.vt == kVtUi4) base = "unsigned long";
  else if (t.vt == kVtUint) base = "unsigned int";
  else if (t.vt == kVtUi8) base = "unsigned hyper";
  else {
    for (const BaseName& b : kBaseTypes)
      if (b.vt == t.vt) {
        base = b.idl;
        break;
      }
    if (t.vt == kVtDispatch || t.vt == kVtUnknown) base += "*";
  }
  if (t.safeArray) base = "SAFEARRAY(" + base + std::string(extraStars, '*') + ")";
  return base + std::string(t.pointers, '*');
}

void flagAttrs(std::vector<std::string>& a, uint16_t flags, std::initializer_list<std::pair<uint16_t, const char*>> names) {
  uint16_t left = flags;
  for (auto [bit, name] : names)
    if (flags & bit) {
      a.push_back(name);
      left &= ~bit;
    }
  if (left) a.push_back("/* flags " + hex(left, 4) + " */");
}

void printInterface(std::string& out, const Library& lib, const TypeEntry& t) {
  std::vector<std::string> a = {"object", "uuid(" + guidText(t.guid) + ")"};
  if (t.verMajor || t.verMinor) a.push_back("version(" + std::to_string(t.verMajor) + "." + std::to_string(t.verMinor) + ")");
  flagAttrs(a, t.flags, {{kTypeDual, "dual"}, {kTypeOleAutomation, "oleautomation"},
                       {kTypeNonExtensible, "nonextensible"}, {kTypeHidden, "hidden"},
                       {kTypeRestricted, "restricted"}});
  if (!t.help.empty()) a.push_back("helpstring(" + quote(t.help) + ")");
  if (t.helpContext) a.push_back("helpcontext(" + hex(t.helpContext, 8) + ")");
  joinAttrs(out, a, "    ", true);
  out += "    interface " + t.name;
  if (!t.impls.empty()) out += " : " + refName(lib, t.impls[0].href);
  out += " {\n";
  for (const Func& f : t.funcs) {
    std::vector<std::string> fa = {"id(" + memidText(f.memid) + ")"};
    if (f.invkind == kInvokePropertyGet) fa.push_back("propget");
    if (f.invkind == kInvokePropertyPut) fa.push_back("propput");
    if (f.invkind == kInvokePropertyPutRef) fa.push_back("propputref");
    flagAttrs(fa, f.flags, {{kFuncRestricted, "restricted"}, {kFuncSource, "source"},
                            {kFuncBindable, "bindable"}, {kFuncHidden, "hidden"},
                            {kFuncNonBrowsable, "nonbrowsable"}});
    if (!f.help.empty()) fa.push_back("helpstring(" + quote(f.help) + ")");
    if (f.helpContext) fa.push_back("helpcontext(" + hex(f.helpContext, 8) + ")");
    out += "        [";
    for (size_t i = 0; i < fa.size(); ++i) out += (i ? ", " : "") + fa[i];
    out += "] " + typeText(lib, f.result) + " " + f.name + "(";
    if (f.params.empty()) out += "void";
    for (size_t k = 0; k < f.params.size(); ++k) {
      const Param& p = f.params[k];
      std::vector<std::string> pa;
      if (p.flags & kParamIn) pa.push_back("in");
      if (p.flags & kParamOut) pa.push_back("out");
      if (p.flags & kParamRetval) pa.push_back("retval");
      if (p.flags & kParamOpt) pa.push_back("optional");
      if (p.flags & kParamLcid) pa.push_back("lcid");
      if (k) out += ", ";
      out += "[";
      for (size_t i = 0; i < pa.size(); ++i) out += (i ? ", " : "") + pa[i];
      out += "] " + typeText(lib, p.type);
      if (!p.name.empty()) out += " " + p.name;
    }
    out += ");\n";
  }
  out += "    };\n";
}

void printCoclass(std::string& out, const Library& lib, const TypeEntry& t) {
  std::vector<std::string> a = {"uuid(" + guidText(t.guid) + ")"};
  if (t.verMajor || t.verMinor) a.push_back("version(" + std::to_string(t.verMajor) + "." + std::to_string(t.verMinor) + ")");
  if (!t.help.empty()) a.push_back("helpstring(" + quote(t.help) + ")");
  if (t.helpContext) a.push_back("helpcontext(" + hex(t.helpContext, 8) + ")");
  uint16_t flags = t.flags ^ kTypeCanCreate;  // printed as its absence: noncreatable
  flagAttrs(a, flags, {{kTypeCanCreate, "noncreatable"}, {kTypeAppObject, "appobject"},
                       {kTypeLicensed, "licensed"}, {kTypeControl, "control"},
                       {kTypeHidden, "hidden"}, {kTypeAggregatable, "aggregatable"}});
  joinAttrs(out, a, "    ", true);
  out += "    coclass " + t.name + " {\n";
  for (const ImplType& im : t.impls) {
    std::vector<std::string> ia;
    flagAttrs(ia, im.flags, {{kImplDefault, "default"}, {kImplSource, "source"},
                             {kImplRestricted, "restricted"}, {kImplDefaultVtable, "defaultvtable"}});
    out += "        ";
    if (!ia.empty()) {
      out += "[";
      for (size_t i = 0; i < ia.size(); ++i) out += (i ? ", " : "") + ia[i];
      out += "] ";
    }
    out += "interface " + refName(lib, im.href) + ";\n";
  }
  out += "    };\n";
}

}  // namespace

std::string Compile(std::string_view text, std::string_view name, Library* lib) {
  *lib = Library{};
  try {
    *lib = Parser(text).run();
    return {};
  } catch (const Error& e) {
    *lib = Library{};
    std::string where(name);
    if (e.line > 0) where += ":" + std::to_string(e.line);
    return where + ": " + e.what;
  }
}

std::string Print(const Library& lib) {
  std::string out;
  std::vector<std::string> a = {"uuid(" + guidText(lib.guid) + ")",
                                "version(" + std::to_string(lib.verMajor) + "." + std::to_string(lib.verMinor) + ")"};
  if (lib.lcid) a.push_back("lcid(" + hex(lib.lcid, 4) + ")");
  if (!lib.help.empty()) a.push_back("helpstring(" + quote(lib.help) + ")");
  if (!lib.helpFile.empty()) a.push_back("helpfile(" + quote(lib.helpFile) + ")");
  if (lib.helpContext) a.push_back("helpcontext(" + hex(lib.helpContext, 8) + ")");
  flagAttrs(a, lib.flags, {{kLibRestricted, "restricted"}, {kLibControl, "control"}, {kLibHidden, "hidden"}});
  joinAttrs(out, a, "", true);
  out += "library " + lib.name + "\n{\n";
  for (const Import& im : lib.imports) out += "    importlib(" + quote(im.file) + ");\n";
  for (const TypeEntry& t : lib.types) {
    out += "\n";
    if (t.kind == kTkindCoclass) printCoclass(out, lib, t);
    else printInterface(out, lib, t);
  }
  out += "};\n";
  return out;
}

}  // namespace mvcomm::idl
