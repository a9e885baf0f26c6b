// File: platform/ole/typelib/tlb_io.cpp
//
// Writer and validating reader of the binary type library format.
//
// Sections: byte helpers, writer, reader (header, tables, strings, records),
// semantic checks, GUID text.
#include "platform/ole/typelib/tlb_io.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string_view>

#include "platform/ole/typelib/tlb_format.h"

namespace mvcomm::typelib {

const Guid StdOle::kLibId = {0x30, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const Guid StdOle::kIUnknown = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const Guid StdOle::kIDispatch = {0x00, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

namespace {

using namespace format;

// ---- byte helpers -------------------------------------------------------

class Out {
 public:
  void u8(uint8_t v) { b_.push_back(v); }
  void u16(uint16_t v) { u8(v & 0xFF); u8(v >> 8); }
  void u32(uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
  void guid(const Guid& g) { b_.insert(b_.end(), g.begin(), g.end()); }
  void bytes(const void* p, size_t n) {
    auto* c = static_cast<const uint8_t*>(p);
    b_.insert(b_.end(), c, c + n);
  }
  void pad4() { while (b_.size() % 4) u8(0); }
  void put32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b_[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  size_t size() const { return b_.size(); }
  std::vector<uint8_t>& data() { return b_; }

 private:
  std::vector<uint8_t> b_;
};

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
Guid getGuid(const uint8_t* p) {
  Guid g;
  std::memcpy(g.data(), p, 16);
  return g;
}

// ---- writer -------------------------------------------------------------

class StringTable {
 public:
  uint32_t add(const std::string& s, bool optional = true) {
    if (s.empty() && optional) return kNoString;
    auto it = index_.find(s);
    if (it != index_.end()) return it->second;
    uint32_t at = static_cast<uint32_t>(out_.size());
    out_.u32(static_cast<uint32_t>(s.size()));
    out_.bytes(s.data(), s.size());
    out_.u8(0);
    out_.pad4();
    index_.emplace(s, at);
    return at;
  }
  std::vector<uint8_t>& bytes() { return out_.data(); }

 private:
  Out out_;
  std::map<std::string, uint32_t> index_;
};

void writeTypeRef(Out& o, const TypeRef& t) {
  o.u16(t.vt);
  o.u8(t.pointers);
  o.u8(t.safeArray ? 1 : 0);
  o.u32(t.vt == kVtUserDefined ? t.href : kNoRef);
}

}  // namespace

std::vector<uint8_t> WriteLibrary(const Library& lib) {
  StringTable strings;
  Out types, funcs, params, impls, imports, externals;
  uint32_t funcCount = 0, paramCount = 0, implCount = 0;

  for (const TypeEntry& t : lib.types) {
    types.guid(t.guid);
    types.u32(strings.add(t.name, false));
    types.u32(strings.add(t.help));
    types.u32(t.helpContext);
    types.u16(t.kind);
    types.u16(t.flags);
    types.u16(t.verMajor);
    types.u16(t.verMinor);
    types.u16(t.vtableSlots);
    types.u16(0);
    types.u32(funcCount);
    types.u32(static_cast<uint32_t>(t.funcs.size()));
    types.u32(implCount);
    types.u32(static_cast<uint32_t>(t.impls.size()));
    for (const Func& f : t.funcs) {
      funcs.u32(strings.add(f.name, false));
      funcs.u32(static_cast<uint32_t>(f.memid));
      funcs.u32(strings.add(f.help));
      funcs.u32(f.helpContext);
      funcs.u16(f.invkind);
      funcs.u16(f.flags);
      funcs.u16(f.vtableSlot);
      funcs.u16(f.callconv);
      writeTypeRef(funcs, f.result);
      funcs.u32(paramCount);
      funcs.u32(static_cast<uint32_t>(f.params.size()));
      for (const Param& p : f.params) {
        params.u32(strings.add(p.name));
        writeTypeRef(params, p.type);
        params.u16(p.flags);
        params.u16(0);
      }
      paramCount += static_cast<uint32_t>(f.params.size());
    }
    funcCount += static_cast<uint32_t>(t.funcs.size());
    for (const ImplType& i : t.impls) {
      impls.u32(i.href);
      impls.u16(i.flags);
      impls.u16(0);
    }
    implCount += static_cast<uint32_t>(t.impls.size());
  }
  for (const Import& i : lib.imports) {
    imports.guid(i.guid);
    imports.u16(i.verMajor);
    imports.u16(i.verMinor);
    imports.u32(i.lcid);
    imports.u32(strings.add(i.file, false));
    imports.u32(0);
  }
  for (const ExternalRef& e : lib.externals) {
    externals.u32(e.import);
    externals.u32(strings.add(e.name, false));
    externals.guid(e.guid);
  }
  uint32_t libName = strings.add(lib.name, false);
  uint32_t libHelp = strings.add(lib.help);
  uint32_t libHelpFile = strings.add(lib.helpFile);

  Out o;
  o.bytes(kMagic, sizeof kMagic);
  o.u16(kFormatMajor);
  o.u16(kFormatMinor);
  o.u32(kHeaderSize);
  o.u32(0);  // file size, patched below
  o.guid(lib.guid);
  o.u32(lib.lcid);
  o.u16(lib.verMajor);
  o.u16(lib.verMinor);
  o.u16(lib.syskind);
  o.u16(lib.flags);
  o.u32(libName);
  o.u32(libHelp);
  o.u32(lib.helpContext);
  o.u32(libHelpFile);
  const uint32_t counts[kTableCount] = {
      static_cast<uint32_t>(lib.types.size()), funcCount, paramCount, implCount,
      static_cast<uint32_t>(lib.imports.size()), static_cast<uint32_t>(lib.externals.size()),
      static_cast<uint32_t>(strings.bytes().size())};
  std::vector<uint8_t>* bodies[kTableCount] = {&types.data(),   &funcs.data(),
                                               &params.data(),  &impls.data(),
                                               &imports.data(), &externals.data(),
                                               &strings.bytes()};
  uint32_t at = static_cast<uint32_t>(kHeaderSize);
  for (size_t t = 0; t < kTableCount; ++t) {
    o.u32(at);
    o.u32(counts[t]);
    o.u32(kRecordSize[t]);
    at += static_cast<uint32_t>(bodies[t]->size());
  }
  for (size_t t = 0; t < kTableCount; ++t) o.bytes(bodies[t]->data(), bodies[t]->size());
  o.put32(16, static_cast<uint32_t>(o.size()));
  return std::move(o.data());
}

// ---- reader -------------------------------------------------------------

namespace {

struct Damaged {
  std::string why;
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : d_(data), n_(size) {}

  ReadResult run(Library* lib, std::string* why) {
    if (n_ < 12 || std::memcmp(d_, kMagic, sizeof kMagic) != 0) return fail(why, "bad magic");
    if (get16(d_ + 8) != kFormatMajor) {
      if (why) *why = "unsupported format version " + std::to_string(get16(d_ + 8));
      return ReadResult::kUnsupportedVersion;
    }
    if (n_ < kHeaderSize) return fail(why, "truncated header");
    if (n_ > kMaxFileSize) return fail(why, "file too large");
    uint32_t headerSize = get32(d_ + 12);
    if (headerSize < kHeaderSize || headerSize > n_ || headerSize % 4)
      return fail(why, "bad header size");
    if (get32(d_ + 16) != n_) return fail(why, "file size does not match");
    for (size_t t = 0; t < kTableCount; ++t) {
      const uint8_t* p = d_ + kTableDirOffset + 12 * t;
      off_[t] = get32(p);
      count_[t] = get32(p + 4);
      if (get32(p + 8) != kRecordSize[t]) return fail(why, "bad record size");
      uint64_t bytes = uint64_t{count_[t]} * kRecordSize[t];
      if (off_[t] < headerSize || off_[t] % 4 || off_[t] + bytes > n_)
        return fail(why, "table out of bounds");
    }
    if (count_[kTypes] > kMaxTypes) return fail(why, "too many types");
    try {
      parse(*lib);
    } catch (const Damaged& d) {
      *lib = Library{};
      return fail(why, d.why);
    }
    std::string fault = CheckLibrary(*lib);
    if (!fault.empty()) {
      *lib = Library{};
      return fail(why, fault);
    }
    return ReadResult::kOk;
  }

 private:
  static ReadResult fail(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return ReadResult::kDamaged;
  }
  [[noreturn]] static void damaged(const char* why) { throw Damaged{why}; }

  const uint8_t* record(Table t, uint32_t index) const {
    if (index >= count_[t]) damaged("record index out of range");
    return d_ + off_[t] + size_t{index} * kRecordSize[t];
  }

  // A string reference; `optional` allows kNoString (read as empty).
  std::string str(uint32_t ref, bool optional = true) const {
    if (ref == kNoString) {
      if (!optional) damaged("missing name");
      return {};
    }
    uint32_t size = count_[kStrings];
    if (ref % 4 || ref > size || size - ref < 5) damaged("string reference out of bounds");
    const uint8_t* p = d_ + off_[kStrings] + ref;
    uint32_t len = get32(p);
    if (len > kMaxStringLength || len > size - ref - 5) damaged("string length out of bounds");
    if (p[4 + len] != 0) damaged("string not terminated");
    std::string s(reinterpret_cast<const char*>(p + 4), len);
    if (s.find('\0') != std::string::npos) damaged("string holds a NUL");
    if (!optional && s.empty()) damaged("empty name");
    return s;
  }

  TypeRef typeRef(const uint8_t* p) const {
    TypeRef t;
    t.vt = get16(p);
    t.pointers = p[2];
    if (p[3] > 1) damaged("bad array flag");
    t.safeArray = p[3] == 1;
    t.href = get32(p + 4);
    return t;
  }

  // A contiguous sub-range [first, first+count) of table `t`.
  void range(Table t, uint32_t first, uint32_t count, uint32_t max) const {
    if (count > max) damaged("too many entries");
    if (first > count_[t] || count > count_[t] - first) damaged("range out of bounds");
  }

  void parse(Library& lib) const {
    lib.guid = getGuid(d_ + 20);
    lib.lcid = get32(d_ + 36);
    lib.verMajor = get16(d_ + 40);
    lib.verMinor = get16(d_ + 42);
    lib.syskind = get16(d_ + 44);
    lib.flags = get16(d_ + 46);
    lib.name = str(get32(d_ + 48), false);
    lib.help = str(get32(d_ + 52));
    lib.helpContext = get32(d_ + 56);
    lib.helpFile = str(get32(d_ + 60));

    for (uint32_t i = 0; i < count_[kImports]; ++i) {
      const uint8_t* p = record(kImports, i);
      Import im;
      im.guid = getGuid(p);
      im.verMajor = get16(p + 16);
      im.verMinor = get16(p + 18);
      im.lcid = get32(p + 20);
      im.file = str(get32(p + 24), false);
      lib.imports.push_back(std::move(im));
    }
    for (uint32_t i = 0; i < count_[kExternals]; ++i) {
      const uint8_t* p = record(kExternals, i);
      ExternalRef e;
      e.import = get32(p);
      e.name = str(get32(p + 4), false);
      e.guid = getGuid(p + 8);
      lib.externals.push_back(std::move(e));
    }
    lib.types.reserve(count_[kTypes]);
    for (uint32_t i = 0; i < count_[kTypes]; ++i) {
      const uint8_t* p = record(kTypes, i);
      TypeEntry t;
      t.guid = getGuid(p);
      t.name = str(get32(p + 16), false);
      t.help = str(get32(p + 20));
      t.helpContext = get32(p + 24);
      t.kind = get16(p + 28);
      t.flags = get16(p + 30);
      t.verMajor = get16(p + 32);
      t.verMinor = get16(p + 34);
      t.vtableSlots = get16(p + 36);
      uint32_t firstFunc = get32(p + 40), funcCount = get32(p + 44);
      uint32_t firstImpl = get32(p + 48), implCount = get32(p + 52);
      range(kFuncs, firstFunc, funcCount, kMaxFuncsPerType);
      range(kImpls, firstImpl, implCount, kMaxTypes);
      for (uint32_t f = 0; f < funcCount; ++f) t.funcs.push_back(func(firstFunc + f));
      for (uint32_t k = 0; k < implCount; ++k) {
        const uint8_t* q = record(kImpls, firstImpl + k);
        t.impls.push_back(ImplType{get32(q), get16(q + 4)});
      }
      lib.types.push_back(std::move(t));
    }
  }

  Func func(uint32_t index) const {
    const uint8_t* p = record(kFuncs, index);
    Func f;
    f.name = str(get32(p), false);
    f.memid = static_cast<int32_t>(get32(p + 4));
    f.help = str(get32(p + 8));
    f.helpContext = get32(p + 12);
    f.invkind = get16(p + 16);
    f.flags = get16(p + 18);
    f.vtableSlot = get16(p + 20);
    f.callconv = get16(p + 22);
    f.result = typeRef(p + 24);
    uint32_t first = get32(p + 32), count = get32(p + 36);
    range(kParams, first, count, kMaxParamsPerFunc);
    for (uint32_t k = 0; k < count; ++k) {
      const uint8_t* q = record(kParams, first + k);
      Param pa;
      pa.name = str(get32(q));
      pa.type = typeRef(q + 4);
      pa.flags = get16(q + 12);
      f.params.push_back(std::move(pa));
    }
    return f;
  }

  const uint8_t* d_;
  size_t n_;
  uint32_t off_[kTableCount] = {};
  uint32_t count_[kTableCount] = {};
};

// ---- semantic checks -----------------------------------------------------

bool knownBaseType(uint16_t vt) {
  switch (vt) {
    case kVtI2: case kVtI4: case kVtR4: case kVtR8: case kVtCy: case kVtDate: case kVtBstr:
    case kVtDispatch: case kVtError: case kVtBool: case kVtVariant: case kVtUnknown:
    case kVtDecimal: case kVtI1: case kVtUi1: case kVtUi2: case kVtUi4: case kVtI8:
    case kVtUi8: case kVtInt: case kVtUint: case kVtVoid: case kVtHresult:
    case kVtUserDefined:
      return true;
    default:
      return false;
  }
}

bool isInterfaceKind(uint16_t kind) { return kind == kTkindInterface || kind == kTkindDispatch; }

// Member names compare without case, as GetIDsOfNames looks them up.
std::string folded(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string checkTypeRef(const Library& lib, const TypeRef& t) {
  if (!knownBaseType(t.vt)) return "unknown type code " + std::to_string(t.vt);
  if (t.pointers > kMaxPointers) return "too many pointer levels";
  if (t.vt == kVtUserDefined) {
    if (t.href < kExternalRef) {
      if (t.href >= lib.types.size()) return "type reference out of range";
      if (!isInterfaceKind(lib.types[t.href].kind)) return "type reference to a coclass";
    } else if (t.href - kExternalRef >= lib.externals.size()) {
      return "external reference out of range";
    }
    if (t.pointers == 0) return "interface used without a pointer";
  } else if (t.href != kNoRef) {
    return "stray type reference";
  }
  if (t.vt == kVtVoid && t.pointers == 0 && t.safeArray) return "array of void";
  return {};
}

// Local base interface of `t`, or -1.
long localBase(const Library& lib, const TypeEntry& t) {
  if (isInterfaceKind(t.kind) && !t.impls.empty() && t.impls[0].href < lib.types.size())
    return static_cast<long>(t.impls[0].href);
  return -1;
}

}  // namespace

ReadResult ReadLibrary(const uint8_t* data, size_t size, Library* out, std::string* why) {
  *out = Library{};
  if (data == nullptr) {
    if (why) *why = "no data";
    return ReadResult::kDamaged;
  }
  return Reader(data, size).run(out, why);
}

std::string CheckLibrary(const Library& lib) {
  if (lib.name.empty()) return "library has no name";
  if (lib.types.size() > kMaxTypes) return "too many types";
  for (const ExternalRef& e : lib.externals)
    if (e.import >= lib.imports.size()) return "external reference to a missing import";
  for (size_t i = 0; i < lib.types.size(); ++i) {
    const TypeEntry& t = lib.types[i];
    const std::string where = "type " + t.name + ": ";
    if (t.name.empty()) return "type without a name";
    if (t.kind != kTkindInterface && t.kind != kTkindDispatch && t.kind != kTkindCoclass)
      return where + "unknown kind";
    if (t.kind == kTkindCoclass) {
      if (!t.funcs.empty()) return where + "coclass with functions";
    } else if (t.impls.size() > 1) {
      return where + "more than one base interface";
    }
    for (const ImplType& im : t.impls) {
      if (im.href < kExternalRef) {
        if (im.href >= lib.types.size() || !isInterfaceKind(lib.types[im.href].kind))
          return where + "implemented type is not an interface";
      } else if (im.href - kExternalRef >= lib.externals.size()) {
        return where + "external reference out of range";
      }
    }
    // A base chain must end: at most types.size() steps.
    long b = localBase(lib, t);
    for (size_t steps = 0; b >= 0; ++steps) {
      if (steps > lib.types.size() || static_cast<size_t>(b) == i)
        return where + "inherits from itself";
      b = localBase(lib, lib.types[b]);
    }
    if (isInterfaceKind(t.kind)) {
      long base = localBase(lib, t);
      if (base >= 0 && lib.types[base].vtableSlots > t.vtableSlots)
        return where + "smaller virtual table than its base";
    }
    std::set<std::pair<int32_t, uint16_t>> kinds;  // (member id, invoke kind) seen
    std::map<std::string, int32_t> ids;            // folded name -> its member id
    for (const Func& f : t.funcs) {
      const std::string fw = where + f.name + ": ";
      if (f.name.empty()) return where + "function without a name";
      if (f.invkind != kInvokeFunc && f.invkind != kInvokePropertyGet &&
          f.invkind != kInvokePropertyPut && f.invkind != kInvokePropertyPutRef)
        return fw + "bad invoke kind";
      if (f.vtableSlot >= t.vtableSlots) return fw + "slot beyond the virtual table";
      if (f.params.size() > kMaxParamsPerFunc) return fw + "too many parameters";
      if (std::string e = checkTypeRef(lib, f.result); !e.empty()) return fw + e;
      // The value is a parameter of its own: neither the locale nor a retval.
      const bool put = f.invkind & (kInvokePropertyPut | kInvokePropertyPutRef);
      if (put && std::none_of(f.params.begin(), f.params.end(),
                              [](const Param& p) { return !(p.flags & (kParamLcid | kParamRetval)); }))
        return fw + "property put without a value";
      if (!kinds.insert({f.memid, f.invkind}).second)
        return fw + "member id " + std::to_string(f.memid) + " used twice";
      const auto [named, fresh] = ids.emplace(folded(f.name), f.memid);
      if (!fresh && named->second != f.memid) return fw + "one name for two member ids";
      for (size_t k = 0; k < f.params.size(); ++k) {
        const Param& p = f.params[k];
        if (std::string e = checkTypeRef(lib, p.type); !e.empty()) return fw + e;
        if (p.flags & ~(kParamIn | kParamOut | kParamLcid | kParamRetval | kParamOpt))
          return fw + "unknown parameter flags";
        if (p.type.vt == kVtVoid && p.type.pointers == 0) return fw + "void parameter";
        if ((p.flags & kParamOut) && p.type.pointers == 0) return fw + "out parameter by value";
        if (p.flags & kParamRetval) {
          if (k + 1 != f.params.size() || !(p.flags & kParamOut))
            return fw + "retval must be the last out parameter";
          if (f.invkind & (kInvokePropertyPut | kInvokePropertyPutRef))
            return fw + "retval on a property put";
        }
        if ((p.flags & kParamLcid) &&
            (p.type.vt != kVtI4 || p.type.pointers || p.type.safeArray || (p.flags & kParamOut)))
          return fw + "lcid parameter is not an [in] long";
      }
    }
  }
  return {};
}

// ---- GUID text ---------------------------------------------------------

std::string GuidToText(const Guid& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3],
                g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13],
                g[14], g[15]);
  return buf;
}

bool GuidFromText(std::string_view s, Guid* out) {
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
    return false;
  uint8_t raw[16];
  size_t n = 0;
  for (size_t i = 0; i < 36;) {
    if (s[i] == '-') {
      ++i;
      continue;
    }
    auto hex = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    int hi = hex(s[i]), lo = hex(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    raw[n++] = static_cast<uint8_t>(hi * 16 + lo);
    i += 2;
  }
  // Text order is Data1..Data4 big-endian; the binary layout stores the first
  // three fields little-endian.
  Guid g = {raw[3], raw[2], raw[1], raw[0], raw[5], raw[4], raw[7], raw[6],
            raw[8], raw[9], raw[10], raw[11], raw[12], raw[13], raw[14], raw[15]};
  *out = g;
  return true;
}

}  // namespace mvcomm::typelib
