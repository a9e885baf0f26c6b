// File: convert/pbcom_type_table.h
//
// The constant table of the VM's type names with their C names (native
// and automation flavours), whether a value of the type goes through a
// converter, and its VARIANT type. Searched in row order: names repeat, and
// the first row wins.
#pragma once

#include <array>
#include <cstdint>

#include "platform/ole/wtypes.h"

namespace mvcomm::convert {

struct PBCOMTypeEntry {
  const char* pbType;                 // the VM's type name ("" for the last row)
  const char* nativeType;             // C type name, native flavour
  int32_t nativeNeedsConversion;      // 1: goes through a converter; 0: taken as it is
  const char* automationType;         // C type name, automation flavour
  int32_t automationNeedsConversion;  // as nativeNeedsConversion, automation flavour
  VARTYPE variantType;                // VARIANT type tag
};

inline constexpr int kPBCOMTypeTableRows = 19;

// Row order matters: lookups stop at the first equal row.
inline constexpr std::array<PBCOMTypeEntry, kPBCOMTypeTableRows> PBCOMTypeTable = {{
    {"boolean", "short", 1, "VARIANT_BOOL", 1, VT_BOOL},
    {"character", "wchar_t", 1, "unsigned char", 1, VT_UI1},
    {"integer", "short", 0, "short", 0, VT_I2},
    {"unsignedinteger", "unsigned short", 0, "unsigned short", 0, VT_UI2},
    {"long", "long", 0, "long", 0, VT_I4},
    {"unsignedlong", "unsigned long", 0, "unsigned long", 0, VT_UI4},
    {"real", "float", 0, "float", 0, VT_R4},
    {"double", "double", 0, "double", 0, VT_R8},
    {"decimal", "double", 1, "double", 1, VT_R8},
    {"string", "LPWSTR", 1, "BSTR", 1, VT_BSTR},
    {"date", "struct tm", 1, "DATE", 1, VT_DATE},
    {"time", "struct tm", 1, "DATE", 1, VT_DATE},
    {"datetime", "struct tm", 1, "DATE", 1, VT_DATE},
    // The native name really ends in a blank; callers match it as stored.
    {"blob", "SAFEARRAY ** ", 0, "SAFEARRAY **", 1, static_cast<VARTYPE>(VT_ARRAY | VT_UI1)},
    {"Instance", "LPUNKNOWN", 1, "LPDISPATCH", 1, VT_DISPATCH},
    {"oleobject", "IUnknown *", 1, "IDispatch *", 1, VT_DISPATCH},
    {"resultset", "IUnknown *", 1, "IDispatch *", 1, VT_DISPATCH},
    {"adoresultset", "IUnknown *", 1, "IDispatch *", 1, VT_DISPATCH},
    {"", "void", 0, "void", 0, VT_VOID},
}};

// ASCII case-insensitive equality: only A-Z fold to a-z.
bool typeNameEquals(const char* a, const char* b);

}  // namespace mvcomm::convert
