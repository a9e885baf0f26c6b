// File: platform/ole/typelib/tlb_format.h
//
// Our binary type library format, version 1.0: what the IDL compiler writes
// into a .tlb file (and into a module's ".mvtypelib" ELF section) and what
// LoadTypeLib reads back. Everything is little-endian; every offset counts from
// the first byte of the file and is a multiple of 4.
//
//   offset  size  header (kHeaderSize bytes)
//   0       8     magic "MVTLB\r\n\x1a" (the CR LF and ^Z catch text-mode damage)
//   8       2     format major (kFormatMajor: a reader refuses any other)
//   10      2     format minor (newer minors only append fields; read as 0)
//   12      4     header size in bytes (>= kHeaderSize)
//   16      4     file size in bytes (must equal the bytes handed to the reader)
//   20      16    library GUID
//   36      4     locale
//   40      2/2   library version major, minor
//   44      2/2   system kind, library flags
//   48      4/4   name, help string (string references)
//   56      4/4   help context, help file (string reference)
//   64      7*12  seven tables, each {u32 offset, u32 count, u32 record size}:
//                 types, funcs, params, impls, imports, externals, strings
//                 (strings: record size 1, count = bytes)
//   148           end of the version 1.0 header
//
// Records (sizes are checked against the header's record sizes):
//   type     56: guid[16], name, help, helpContext, u16 kind, u16 flags,
//                u16 verMajor, u16 verMinor, u16 vtableSlots, u16 0,
//                firstFunc, funcCount, firstImpl, implCount
//   func     40: name, i32 memid, help, helpContext, u16 invkind, u16 flags,
//                u16 vtableSlot, u16 callconv, typeref result, firstParam, paramCount
//   param    16: name, typeref, u16 flags, u16 0
//   typeref   8: u16 vt, u8 pointers, u8 safeArray (0/1), u32 href
//   impl      8: u32 href, u16 flags, u16 0
//   import   32: guid[16], u16 verMajor, u16 verMinor, lcid, file, u32 0
//   external 24: u32 import, name, guid[16]
//
// A string reference is an offset into the string table, or 0xFFFFFFFF for
// none. At the offset: u32 length, that many UTF-8 bytes, a NUL. Each type owns
// the contiguous func and impl ranges it names; each func owns its params.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mvcomm::typelib::format {

inline constexpr char kMagic[8] = {'M', 'V', 'T', 'L', 'B', '\r', '\n', '\x1a'};
inline constexpr uint16_t kFormatMajor = 1;
inline constexpr uint16_t kFormatMinor = 0;
inline constexpr uint32_t kNoString = 0xFFFFFFFFu;

inline constexpr size_t kHeaderSize = 148;
inline constexpr size_t kTableDirOffset = 64;

enum Table : size_t { kTypes, kFuncs, kParams, kImpls, kImports, kExternals, kStrings, kTableCount };

inline constexpr uint32_t kRecordSize[kTableCount] = {56, 40, 16, 8, 32, 24, 1};

// Limits a reader enforces, far above any real library, so that a hostile
// file cannot make it allocate without bound.
inline constexpr uint32_t kMaxFileSize = 16u << 20;
inline constexpr uint32_t kMaxTypes = 4096;
inline constexpr uint32_t kMaxFuncsPerType = 4096;
inline constexpr uint32_t kMaxParamsPerFunc = 64;
inline constexpr uint32_t kMaxStringLength = 65535;
inline constexpr uint8_t kMaxPointers = 2;

// Name of the ELF section that carries a library inside a module file.
inline constexpr const char* kElfSection = ".mvtypelib";

}  // namespace mvcomm::typelib::format
