// File: vm/vm_interfaces.h
//
// The VM's products: reference-counted interfaces whose operations sit at
// fixed positions after QueryInterface, AddRef and Release (slot 0 to 2).
// Every operation returns a status (vm/vm_types.h; negative is failure) and
// hands its product through the last argument. A product handed out through
// an out-pointer carries one reference, owned by the caller, unless the
// operation says "borrowed". Out-pointers are set to null (or 0) first.
//
// Values are plain data: a typed set copies the content of the product given
// (a string, date, decimal...), and a typed get makes a new product.
//
// Sections: identifiers; string; session and contexts; object; value and
// argument; date, date helper, time, datetime; decimal, blob; arrays.
#pragma once

#include <cstdint>

#include "vm/vm_com.h"

namespace mvcomm::vm {

// ---- identifiers ------------------------------------------------------------
inline constexpr IID IID_IVMString = {0x095B0965, 0x1BFE, 0x4BA1, {0xA5, 0x48, 0x1D, 0x65, 0xE5, 0x84, 0x4D, 0x37}};
inline constexpr IID IID_IVMSession = {0x6CE48BE0, 0x432C, 0x4F05, {0xA1, 0xD4, 0x34, 0x1B, 0x8F, 0xB5, 0xC0, 0x87}};
inline constexpr IID IID_IVMSessionContext = {0x88090D24, 0xB863, 0x4C9F, {0x84, 0xFA, 0xF3, 0x9E, 0xB0, 0xED, 0x13, 0x98}};
inline constexpr IID IID_IVMValueContext = {0x2BB1FEC4, 0xDCD7, 0x4101, {0xB2, 0xA6, 0x64, 0xE3, 0x27, 0x97, 0x48, 0x70}};
// The VM object interface: what every VM object implements.
inline constexpr IID IID_IVMObject = {0x61307719, 0x25B3, 0x4CBD, {0xAB, 0xE7, 0x60, 0x4A, 0x1E, 0xD0, 0x19, 0xD9}};
inline constexpr IID IID_IVMObjectHandle = {0xF4E2DBDA, 0x86E1, 0x4827, {0x84, 0x8C, 0x6A, 0xA3, 0xCE, 0xB8, 0x18, 0x40}};
// The VM automation interface: a late-bound IDispatch over a VM object.
inline constexpr IID IID_IVMAutomation = {0xCAF5157D, 0xF8F9, 0x4930, {0x96, 0x57, 0x4A, 0xD9, 0x05, 0xB8, 0x28, 0x55}};
inline constexpr IID IID_IVMValue = {0x5086A356, 0x65DB, 0x446F, {0x98, 0xD7, 0x5E, 0x52, 0xB9, 0x7D, 0x57, 0xE8}};
inline constexpr IID IID_IVMArgument = {0x751B6ABF, 0xD2A5, 0x4A76, {0xA2, 0x6F, 0xBD, 0x46, 0x0C, 0xEA, 0xCC, 0xBB}};
inline constexpr IID IID_IVMDate = {0x6BE9979B, 0x6349, 0x481A, {0xA0, 0xF3, 0xE7, 0x00, 0xA1, 0xE6, 0x9A, 0x0C}};
inline constexpr IID IID_IVMDateHelper = {0xF959B254, 0xBEFA, 0x45F2, {0xBA, 0x32, 0x56, 0x08, 0x93, 0x64, 0xBF, 0x64}};
inline constexpr IID IID_IVMTime = {0x9EB0C117, 0xAD87, 0x46C0, {0x8C, 0x25, 0x62, 0xE4, 0x5E, 0x5A, 0x0E, 0x61}};
inline constexpr IID IID_IVMDateTime = {0xAB3C9FF7, 0xF24A, 0x493C, {0x9B, 0x8F, 0x28, 0x18, 0x52, 0xB4, 0x22, 0x96}};
inline constexpr IID IID_IVMDecimal = {0x58076DA8, 0xD10B, 0x4C88, {0x8A, 0x7A, 0x08, 0xF5, 0xE2, 0x0B, 0xE1, 0xCF}};
inline constexpr IID IID_IVMBlob = {0x91704414, 0x25BA, 0x4250, {0x84, 0x86, 0xA3, 0x7C, 0x95, 0x11, 0x59, 0xA3}};
inline constexpr IID IID_IVMArray = {0x849FBDC4, 0x3DCA, 0x4581, {0xB9, 0xCE, 0xF6, 0xE7, 0xA9, 0x55, 0x0B, 0x13}};
inline constexpr IID IID_IVMBoundsList = {0x5DA2BC4C, 0xD4D2, 0x4C23, {0x83, 0x7D, 0xAC, 0x65, 0x55, 0x19, 0xCD, 0xCD}};
inline constexpr IID IID_IVMBound = {0xC946D822, 0xBFA1, 0x4A63, {0xBA, 0x45, 0xE4, 0x82, 0xFB, 0x5F, 0x23, 0x47}};

struct IVMSession;
struct IVMValue;
struct IVMArgument;
struct IVMDate;
struct IVMDateHelper;
struct IVMTime;
struct IVMDateTime;
struct IVMDecimal;
struct IVMBlob;
struct IVMArray;
struct IVMBound;
struct IVMBoundsList;

// ---- string -------------------------------------------------------------------
// Narrow text in the process's code page; also the VM's names.
struct IVMString : IUnknown {
  virtual int32_t text(const char** out) = 0;   // 3: borrowed, NUL-terminated, valid while the string lives
  virtual int32_t length(int32_t* bytes) = 0;   // 4: bytes before the NUL
};

// ---- session and contexts ---------------------------------------------------------
// A session: the classes of one module's class library. QueryInterface with
// IID_IVMSessionContext gives its context interface.
struct IVMSession : IUnknown {
  virtual int32_t libraryPath(IVMString** out) = 0;  // 3: the module path it was started with
};

struct IVMSessionContext : IUnknown {
  virtual int32_t session(IVMSession** out) = 0;      // 3
  virtual int32_t contextHandle(uint32_t* out) = 0;   // 4: 32-bit handle for the event operations
};

// What values, bounds and arrays are made in (make value, make bound, make array).
struct IVMValueContext : IUnknown {
  virtual int32_t session(IVMSession** out) = 0;  // 3
};

// ---- object ---------------------------------------------------------------------
// An instance of a class of the session's library. QueryInterface answers
// IID_IVMObject, IID_IVMAutomation and IID_IVMObjectHandle. Names compare
// ASCII case-insensitively.
struct IVMObject : IUnknown {
  // 3: reads the instance variable into a new value of its type.
  //    kVmErrNoSuchVariable when the class has none of that name.
  virtual int32_t getVariable(IVMString* name, IVMValue** out) = 0;
  // 4: assigns a value of the variable's own type code. kVmErrReadOnly for a
  //    read-only variable, kVmErrTypeMismatch for another type code; the
  //    variable is unchanged on failure.
  virtual int32_t setVariable(IVMString* name, IVMValue* value) = 0;
  // 5: calls a function with `count` arguments of the declared types.
  //    Products: the result value (null for a function without result), the
  //    session the call ran in (second reference) and the declared result
  //    type code (kNoResult for none). kVmErrNoSuchFunction, kVmErrArgCount,
  //    kVmErrTypeMismatch before the call; the function's own negative
  //    status when it fails.
  virtual int32_t callFunction(IVMString* name, IVMArgument* const* args, int32_t count,
                               IVMValue** result, IUnknown** second, uint32_t* word) = 0;
  virtual int32_t className(IVMString** out) = 0;    // 6
  virtual int32_t session(IVMSession** out) = 0;     // 7
  // 8: the type code of a variable and whether it refuses assignment (1) or not (0).
  virtual int32_t variableType(IVMString* name, int32_t* typeCode, int32_t* readOnly) = 0;
  // 9: the declared result type code and parameter count of a function.
  virtual int32_t functionSignature(IVMString* name, int32_t* resultType, int32_t* paramCount) = 0;
  virtual int32_t valueContext(IVMValueContext** out) = 0;  // 10
};

// The automation interface of an object: IDispatch late bound by name over
// its instance variables (property get and put; read-only ones refuse put
// with DISP_E_MEMBERNOTFOUND) and functions (method calls, arguments
// coerced with VariantChangeType to the declared types). It has no type
// information. Text crosses as UTF-8 on the VM side. QueryInterface for
// IID_IVMObject or IID_IVMObjectHandle leads back to the object.
struct IVMAutomation : IDispatch {};

struct IVMObjectHandle : IUnknown {
  virtual int32_t object(IVMObject** out) = 0;         // 3
  virtual int32_t objectHandle(uint32_t* out) = 0;     // 4: 32-bit handle for the event operations
};

// ---- value and argument -------------------------------------------------------------
// A value of one type code (3 to 20), null until set. A get of a null value
// gives the type's zero (0, "", day number 1 = 1900-01-01, 00:00:00). A get
// or set of another type code than the value's fails with kVmErrTypeMismatch.
// Sets refuse numbers outside the code's range with kVmErrOutOfRange.
struct IVMValue : IUnknown {
  virtual int32_t typeCode(int32_t* out) = 0;   // 3
  virtual int32_t isNull(int32_t* out) = 0;     // 4: 1 while never set
  virtual int32_t setNull() = 0;                // 5
  // Typed gets, slot = code + 3.
  virtual int32_t getCharacter(uint8_t* out) = 0;            // 6: code 3
  virtual int32_t getWord4(int32_t* out) = 0;                // 7: code 4
  virtual int32_t getWord5(uint32_t* out) = 0;               // 8: code 5
  virtual int32_t getInteger(int16_t* out) = 0;              // 9: code 6
  virtual int32_t getUnsignedInteger(uint16_t* out) = 0;     // 10: code 7
  virtual int32_t getLong(int32_t* out) = 0;                 // 11: code 8
  virtual int32_t getUnsignedLong(uint32_t* out) = 0;        // 12: code 9
  virtual int32_t getDecimal(IVMDecimal** out) = 0;          // 13: code 10
  virtual int32_t getReal(float* out) = 0;                   // 14: code 11
  virtual int32_t getDouble(double* out) = 0;                // 15: code 12
  virtual int32_t getBoolean(int32_t* out) = 0;              // 16: code 13
  virtual int32_t getDate(IVMDate** out) = 0;                // 17: code 14
  virtual int32_t getTime(IVMTime** out) = 0;                // 18: code 15
  virtual int32_t getDateTime(IVMDateTime** out) = 0;        // 19: code 16
  virtual int32_t getString(IVMString** out) = 0;            // 20: code 17
  // Codes 18 to 20: the array or object held (null when none).
  virtual int32_t getReference(IUnknown** out) = 0;          // 21
  virtual int32_t setReference(IUnknown* reference) = 0;     // 22: an IVMArray (18, 20) or IVMObject (19)
  virtual int32_t assign(IVMValue* from) = 0;                // 23: copy a value of the same code
  // Typed sets, slot = code + 21.
  virtual int32_t setCharacter(int32_t byteSignExtended) = 0;   // 24: code 3, -128..255
  virtual int32_t setWord4(int32_t word) = 0;                   // 25: code 4
  virtual int32_t setWord5(uint32_t word) = 0;                  // 26: code 5
  virtual int32_t setInteger(int32_t signExtended) = 0;         // 27: code 6, -32768..32767
  virtual int32_t setUnsignedInteger(uint32_t zeroExtended) = 0;  // 28: code 7, 0..65535
  virtual int32_t setLong(int32_t value) = 0;                   // 29: code 8
  virtual int32_t setUnsignedLong(uint32_t value) = 0;          // 30: code 9
  virtual int32_t setDecimal(IVMDecimal* value) = 0;            // 31: code 10
  virtual int32_t setReal(float value) = 0;                     // 32: code 11
  virtual int32_t setDouble(double value) = 0;                  // 33: code 12
  virtual int32_t setBoolean(int32_t word) = 0;                 // 34: code 13, the word as given
  virtual int32_t setDate(IVMDate* value) = 0;                  // 35: code 14
  virtual int32_t setTime(IVMTime* value) = 0;                  // 36: code 15
  virtual int32_t setDateTime(IVMDateTime* value) = 0;          // 37: code 16
  virtual int32_t setString(IVMString* value) = 0;              // 38: code 17
};

// A call argument: a value (held by reference) and its passing mode.
struct IVMArgument : IUnknown {
  virtual int32_t value(IVMValue** out) = 0;   // 3
  virtual int32_t mode(int32_t* out) = 0;      // 4: kArgByValue or kArgByReference
};

// ---- dates and times -------------------------------------------------------------
// Day numbers count days from 1899-12-31 (day 0) in the proleptic Gregorian
// calendar; the VM holds years 1 to 9999.
struct IVMDate : IUnknown {
  virtual int32_t year(int32_t* out) = 0;        // 3
  virtual int32_t month(int32_t* out) = 0;       // 4
  virtual int32_t day(int32_t* out) = 0;         // 5
  virtual int32_t dayOfWeek(int32_t* out) = 0;   // 6: 1 Sunday .. 7 Saturday
  // 7: the day number; needs a date helper (kVmErrBadArgument without one).
  virtual int32_t dayNumber(IVMDateHelper* helper, int32_t* out) = 0;
};

struct IVMDateHelper : IUnknown {
  virtual int32_t makeDate(int32_t year, int32_t month, int32_t day, IVMDate** out) = 0;  // 3
  virtual int32_t isLeapYear(int32_t year, int32_t* out) = 0;                             // 4
  virtual int32_t daysInMonth(int32_t year, int32_t month, int32_t* out) = 0;             // 5
  virtual int32_t dayNumberOf(int32_t year, int32_t month, int32_t day, int32_t* out) = 0;  // 6
  virtual int32_t partsOf(int32_t dayNumber, int32_t* year, int32_t* month, int32_t* day) = 0;  // 7
  // 8: kVmErrOutOfRange outside years 1 to 9999.
  virtual int32_t dateFromDayNumber(int32_t dayNumber, IVMDate** out) = 0;
};

struct IVMTime : IUnknown {
  virtual int32_t hour(int32_t* out) = 0;     // 3
  virtual int32_t minute(int32_t* out) = 0;   // 4
  virtual int32_t second(int32_t* out) = 0;   // 5
  // 6: seconds from `reference` to this time (negative when earlier).
  virtual int32_t secondsFrom(IVMTime* reference, int32_t* out) = 0;
};

struct IVMDateTime : IUnknown {
  virtual int32_t datePart(IVMDate** out) = 0;   // 3
  virtual int32_t timePart(IVMTime** out) = 0;   // 4
};

// ---- decimal and blob ------------------------------------------------------------
struct IVMDecimal : IUnknown {
  virtual int32_t sign(int32_t* out) = 0;                        // 3: -1, 0 or 1
  virtual int32_t compare(IVMDecimal* other, int32_t* out) = 0;  // 4: -1, 0 or 1
  virtual int32_t assign(IVMDecimal* from) = 0;                  // 5
  virtual int32_t toDouble(double* out) = 0;                     // 6
  virtual int32_t fromDouble(double value) = 0;                  // 7: kVmErrOutOfRange for NaN or infinity
};

struct IVMBlob : IUnknown {
  virtual int32_t length(int32_t* bytes) = 0;        // 3
  virtual int32_t bytes(const uint8_t** out) = 0;    // 4: borrowed, valid while the blob lives
};

// ---- arrays --------------------------------------------------------------------
struct IVMBound : IUnknown {
  virtual int32_t lower(int32_t* out) = 0;   // 3
  virtual int32_t count(int32_t* out) = 0;   // 4: upper - lower + 1
  virtual int32_t upper(int32_t* out) = 0;   // 5
};

// Bounds in dimension order. first / next walk the list; next past the last
// bound gives kVmErrNoMoreItems and null.
struct IVMBoundsList : IUnknown {
  virtual int32_t append(IVMBound* bound) = 0;               // 3: keeps a reference
  virtual int32_t count(int32_t* out) = 0;                   // 4
  virtual int32_t boundAt(int32_t index, IVMBound** out) = 0;  // 5: index from 0
  virtual int32_t first(IVMBound** out) = 0;                 // 6
  virtual int32_t next(IVMBound** out) = 0;                  // 7
};

// An array of values of one element type. Index vectors list dimension 1 first.
struct IVMArray : IUnknown {
  // 3: the element's value, BORROWED: valid while the array lives and the
  //    element is not replaced; the caller does not release it.
  virtual int32_t elementAt(const int32_t* indices, int32_t dimensions, IVMValue** out) = 0;
  // 4: stores `value`, TAKING OVER the caller's reference on every path (the
  //    array releases it when it fails). The value must have the element type.
  virtual int32_t storeElement(const int32_t* indices, int32_t dimensions, IVMValue* value) = 0;
  virtual int32_t dimensionCount(int32_t* out) = 0;           // 5
  virtual int32_t boundsList(IVMBoundsList** out) = 0;        // 6: the array's current bounds
  virtual int32_t elementType(int32_t* out) = 0;              // 7
};

}  // namespace mvcomm::vm
