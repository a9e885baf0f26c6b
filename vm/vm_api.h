// File: vm/vm_api.h
//
// The VM's module-level operations, one per export number (vm/vm_types.h,
// Op). Each returns a status (negative is failure) and hands its product
// through the last argument, which it sets to null (or the "none" value)
// first. Every operation can be made to fail by vm/vm_testing.h.
//
// Errors common to all: kVmErrBadArgument for a missing out-pointer or a
// missing required input; kVmErrNoMemory when an allocation fails.
#pragma once

#include <cstdint>

#include "vm/vm_interfaces.h"
#include "vm/vm_types.h"

namespace mvcomm::vm {

// 9000: a VM string holding a copy of `text`.
int32_t vmMakeString(const char* text, IVMString** out);

// 9017: starts a session on the class library of the module at `modulePath`.
// The module is found with dlopen (RTLD_NOLOAD first, as it is usually loaded
// already), then its exported class library (vm/class_library.h).
// `extraLibraries` must be null (kVmErrNotSupported otherwise); `flag1` and
// `flag2` are taken as given (the component passes 1 and 0).
// Errors: kVmErrNoModule (no loadable module at that path),
// kVmErrNoClassLibrary (the module exports none, or an unusable one).
int32_t vmStartSession(IVMString* extraLibraries, IVMString* modulePath, int32_t flag1,
                       int32_t flag2, IVMSession** out);

// 9022: a new instance of the named class; its "constructor" event has run.
// Errors: kVmErrNoSuchClass; the constructor event's negative status.
int32_t vmCreateObject(IVMString* className, IVMSession* session, IVMObject** out);

// 9013: an empty (null) value of type code 3..20 in `context`.
// Errors: kVmErrTypeMismatch for another code.
int32_t vmMakeValue(int32_t typeCode, IVMValueContext* context, IVMValue** out);

// 9015: a call argument holding a reference to `value`; mode 1 (by value) or
// 2 (by reference, the function may change the value).
int32_t vmMakeArgument(IVMValue* value, int32_t mode, IVMArgument** out);

// 9001: a datetime of `date` and `time`; neither is consumed.
int32_t vmMakeDateTime(IVMDate* date, IVMTime* time, IVMDateTime** out);

// 9003: a date helper. The three arguments must be 0 (kVmErrBadArgument).
int32_t vmMakeDateHelper(int32_t reserved1, int32_t reserved2, int32_t reserved3,
                         IVMDateHelper** out);

// 9006: a time. kVmErrOutOfRange for an hour outside 0..23, a minute or
// second outside 0..59.
int32_t vmMakeTime(int32_t hour, int32_t minute, int32_t second, IVMTime** out);

// 9009: a decimal holding 0.
int32_t vmMakeDecimal(IVMDecimal** out);

// 9011: a blob holding a copy of `count` bytes. kVmErrBadArgument for a
// negative count or a missing buffer with a non-zero count.
int32_t vmMakeBlob(int32_t count, const uint8_t* bytes, IVMBlob** out);

// 9019 (fixed bounds) and 9035 (a one-dimensional array grows when an element
// past its upper bound is stored): an array over the bounds in `bounds`, with
// elements of `elementType` (3..20), all null. The bounds are copied.
// Errors: kVmErrBadArgument for an empty bounds list; kVmErrTypeMismatch for
// an element type outside 3..20; kVmErrOutOfRange when the element count
// passes kMaxArrayElements.
inline constexpr int64_t kMaxArrayElements = int64_t{1} << 22;
int32_t vmMakeArray(IVMBoundsList* bounds, int32_t elementType, IVMValueContext* context,
                    IVMArray** out);
int32_t vmMakeDynamicArray(IVMBoundsList* bounds, int32_t elementType, IVMValueContext* context,
                           IVMArray** out);

// 9024: a bound. kVmErrOutOfRange when upper < lower - 1 (upper = lower - 1 is
// an empty dimension).
int32_t vmMakeBound(int32_t lower, int32_t upper, IVMValueContext* context, IVMBound** out);

// 9029: an empty bounds list.
int32_t vmMakeBoundsList(IVMBoundsList** out);

// 3932: prepares the runtime of this process; idempotent.
int32_t vmPrepareRuntime();

// 3923: the VM's transaction-server value (kTxnServerValue).
inline constexpr uint32_t kTxnServerValue = 0x00070001u;
int32_t vmTxnServerValue(uint32_t* out);

// 2318: the class of an object: a class handle, or kNoClass when the object
// handle names no live object. kVmErrBadHandle for an unknown context.
int32_t vmClassOfObject(uint32_t contextHandle, uint32_t objectHandle, uint32_t* classHandle);

// 138: the token of an event name any loaded class declares, or kNoEventToken.
int32_t vmEventNameToken(const char* eventName, int32_t* token);

// 2319: the index of the class's event with that token in the low 16 bits,
// or kNoEvent. kVmErrBadHandle for an unknown context or class.
int32_t vmFindEvent(uint32_t contextHandle, uint32_t classHandle, int16_t token,
                    uint32_t* eventIndex);

// 2384: runs event `eventIndex` of the object; the event's return value is
// written as a little-endian 64-bit integer into the 8-byte `result` area
// (so its first 16 bits are the low 16 bits of the value). The reserved
// arguments must be 0. kVmErrBadHandle for an unknown object or index.
int32_t vmTriggerEvent(uint32_t objectHandle, int32_t reserved1, uint32_t eventIndex,
                       int32_t reserved2, int32_t reserved3, uint8_t* result);

}  // namespace mvcomm::vm
