// File: component/component_status.h
//
// The automation object's own status codes, one per step that can fail.
// Clients see them as failure HRESULTs (-8302 is 0xFFFFDF92). Converter
// codes live in convert/pbcom_status.h.
#pragma once

#include <cstdint>

namespace mvcomm::component {

inline constexpr int32_t kErrNoTypeLibrary = -8201;      // creation: no type library
inline constexpr int32_t kErrSessionLookup = -8204;      // factory: thread's session entry not looked up
inline constexpr int32_t kErrSessionInsert = -8205;      // creation: new session not registered
inline constexpr int32_t kErrSessionAddUse = -8206;      // creation: shared session's use count not raised
inline constexpr int32_t kErrNoCallArrays = -8301;       // method: per-call arrays not allocated
inline constexpr int32_t kErrNoVMObject = -8302;         // accessor or method: no VM object
inline constexpr int32_t kErrStartSession = -8304;       // creation: session not started
inline constexpr int32_t kErrCreateInstance = -8305;     // creation: n_cst_mvcomm not created
inline constexpr int32_t kErrPropertyName = -8306;       // accessor: property name not made
inline constexpr int32_t kErrPutValue = -8307;           // put: VM value not made
inline constexpr int32_t kErrFunctionName = -8308;       // method: function name not made
inline constexpr int32_t kErrArgumentValue = -8310;      // method: argument's VM value not made
inline constexpr int32_t kErrValueContext = -8312;       // put or method: no value context
inline constexpr int32_t kErrAssign = -8313;             // put: variable not assigned
inline constexpr int32_t kErrReadVariable = -8314;       // get: variable not read
inline constexpr int32_t kErrTypedRead = -8315;          // get: value not taken out
inline constexpr int32_t kErrTypedWrite = -8316;         // put: value not stored
inline constexpr int32_t kErrMakeArgument = -8318;       // method: call argument not made
inline constexpr int32_t kErrCall = -8319;               // method: the VM call failed
inline constexpr int32_t kErrStoreArgument = -8321;      // method: argument not stored
inline constexpr int32_t kErrConvertResult = -8402;      // get: result not converted
inline constexpr int32_t kErrConvertArgument = -8403;    // method: argument not converted

}  // namespace mvcomm::component
