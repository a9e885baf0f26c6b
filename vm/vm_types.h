// File: vm/vm_types.h
//
// The VM's numbers: status codes, value type codes, the numbers of its
// operations (export numbers for the module-level operations, kind and slot
// for the interface operations) and the kinds of product it counts. Tests
// and failure injection name operations by these constants.
#pragma once

#include <cstdint>

namespace mvcomm::vm {

// ---- status codes ---------------------------------------------------------
// Every VM operation returns one; negative means failure. 0 is success.
inline constexpr int32_t kVmOk = 0;
inline constexpr int32_t kVmErrFailed = -1;          // unspecified failure
inline constexpr int32_t kVmErrNoMemory = -2;        // an allocation failed
inline constexpr int32_t kVmErrBadArgument = -3;     // a required pointer is missing or a flag is invalid
inline constexpr int32_t kVmErrTypeMismatch = -4;    // value of another type code than the operation's
inline constexpr int32_t kVmErrReadOnly = -6;        // assignment to a read-only instance variable
inline constexpr int32_t kVmErrArgCount = -7;        // call with another argument count than declared
inline constexpr int32_t kVmErrNoModule = -8;        // no module at the session's library path
inline constexpr int32_t kVmErrNoClassLibrary = -9;  // the module exports no class library
inline constexpr int32_t kVmErrOutOfRange = -10;     // date, time, bound or index outside its range
inline constexpr int32_t kVmErrNoSuchClass = -11;    // the session's library lacks the class
inline constexpr int32_t kVmErrNoSuchVariable = -12; // the object has no instance variable of that name
inline constexpr int32_t kVmErrNoSuchFunction = -13; // the object has no function of that name
inline constexpr int32_t kVmErrBadHandle = -14;      // unknown context, object, class or event handle
inline constexpr int32_t kVmErrNotSupported = -15;   // an input the VM does not offer (extra library list)
inline constexpr int32_t kVmErrNoMoreItems = -16;    // a bounds-list walk went past the last bound

// ---- value type codes -----------------------------------------------------
inline constexpr int32_t kTypeCharacter = 3;
inline constexpr int32_t kTypeWord4 = 4;           // further signed 16-bit code, exchanged as a 32-bit word
inline constexpr int32_t kTypeWord5 = 5;           // further unsigned 16-bit code, exchanged as a 32-bit word
inline constexpr int32_t kTypeInteger = 6;
inline constexpr int32_t kTypeUnsignedInteger = 7;
inline constexpr int32_t kTypeLong = 8;
inline constexpr int32_t kTypeUnsignedLong = 9;
inline constexpr int32_t kTypeDecimal = 10;
inline constexpr int32_t kTypeReal = 11;
inline constexpr int32_t kTypeDouble = 12;
inline constexpr int32_t kTypeBoolean = 13;
inline constexpr int32_t kTypeDate = 14;
inline constexpr int32_t kTypeTime = 15;
inline constexpr int32_t kTypeDateTime = 16;
inline constexpr int32_t kTypeString = 17;
inline constexpr int32_t kTypeArray = 18;          // holds a VM array (fixed bounds)
inline constexpr int32_t kTypeObject = 19;         // holds a VM object reference
inline constexpr int32_t kTypeDynamicArray = 20;   // holds a VM array (growing)
inline constexpr int32_t kFirstTypeCode = 3;
inline constexpr int32_t kLastTypeCode = 20;
inline constexpr int32_t kLastScalarTypeCode = 17;  // 3..17 have a typed get and set
inline constexpr int32_t kNoResult = 0;             // result type of a function without result

constexpr bool isTypeCode(int32_t code) { return code >= kFirstTypeCode && code <= kLastTypeCode; }

// ---- product kinds ----------------------------------------------------------
// Every live product is counted by kind (vm/vm_testing.h).
enum class ProductKind : int32_t {
  String,
  Session,
  Object,
  Value,
  Argument,
  Date,
  Time,
  DateTime,
  Decimal,
  Blob,
  DateHelper,
  Array,
  Bound,
  BoundsList,
  SessionContext,
  ValueContext,
  ObjectHandle,
  Automation,
  Count_  // number of kinds; not a kind
};
inline constexpr int32_t kProductKindCount = static_cast<int32_t>(ProductKind::Count_);

const char* productKindName(ProductKind kind);

// ---- operation numbers ----------------------------------------------------
// Module-level operations carry their export numbers. Interface operations
// are numbered 0x10000 + kind * 0x100 + slot, so that one number names each
// operation for failure injection.
constexpr int32_t interfaceOp(ProductKind kind, int32_t slot) {
  return 0x10000 + static_cast<int32_t>(kind) * 0x100 + slot;
}

enum class Op : int32_t {
  Any = -1,  // matches every operation (failure injection)

  MakeString = 9000,
  MakeDateTime = 9001,
  MakeDateHelper = 9003,
  MakeTime = 9006,
  MakeDecimal = 9009,
  MakeBlob = 9011,
  MakeValue = 9013,
  MakeArgument = 9015,
  StartSession = 9017,
  MakeArray = 9019,
  CreateObject = 9022,
  MakeBound = 9024,
  MakeBoundsList = 9029,
  MakeDynamicArray = 9035,
  PrepareRuntime = 3932,
  TxnServerValue = 3923,
  ClassOfObject = 2318,
  EventNameToken = 138,
  FindEvent = 2319,
  TriggerEvent = 2384,

  StringText = interfaceOp(ProductKind::String, 3),
  StringLength = interfaceOp(ProductKind::String, 4),
  SessionLibraryPath = interfaceOp(ProductKind::Session, 3),
  SessionContextSession = interfaceOp(ProductKind::SessionContext, 3),
  SessionContextHandle = interfaceOp(ProductKind::SessionContext, 4),
  ValueContextSession = interfaceOp(ProductKind::ValueContext, 3),
  ObjectGetVariable = interfaceOp(ProductKind::Object, 3),
  ObjectSetVariable = interfaceOp(ProductKind::Object, 4),
  ObjectCallFunction = interfaceOp(ProductKind::Object, 5),
  ObjectClassName = interfaceOp(ProductKind::Object, 6),
  ObjectSession = interfaceOp(ProductKind::Object, 7),
  ObjectVariableType = interfaceOp(ProductKind::Object, 8),
  ObjectFunctionSignature = interfaceOp(ProductKind::Object, 9),
  ObjectValueContext = interfaceOp(ProductKind::Object, 10),
  ObjectHandleObject = interfaceOp(ProductKind::ObjectHandle, 3),
  ObjectHandleValue = interfaceOp(ProductKind::ObjectHandle, 4),
  ValueTypeCode = interfaceOp(ProductKind::Value, 3),
  ValueIsNull = interfaceOp(ProductKind::Value, 4),
  ValueSetNull = interfaceOp(ProductKind::Value, 5),
  ValueGetFirst = interfaceOp(ProductKind::Value, 6),   // typed get of code 3; code c is + (c - 3)
  ValueGetReference = interfaceOp(ProductKind::Value, 21),
  ValueSetReference = interfaceOp(ProductKind::Value, 22),
  ValueAssign = interfaceOp(ProductKind::Value, 23),
  ValueSetFirst = interfaceOp(ProductKind::Value, 24),  // typed set of code 3; code c is + (c - 3)
  ArgumentValue = interfaceOp(ProductKind::Argument, 3),
  ArgumentMode = interfaceOp(ProductKind::Argument, 4),
  DateYear = interfaceOp(ProductKind::Date, 3),
  DateMonth = interfaceOp(ProductKind::Date, 4),
  DateDay = interfaceOp(ProductKind::Date, 5),
  DateDayOfWeek = interfaceOp(ProductKind::Date, 6),
  DateDayNumber = interfaceOp(ProductKind::Date, 7),
  DateHelperMakeDate = interfaceOp(ProductKind::DateHelper, 3),
  DateHelperIsLeapYear = interfaceOp(ProductKind::DateHelper, 4),
  DateHelperDaysInMonth = interfaceOp(ProductKind::DateHelper, 5),
  DateHelperDayNumberOf = interfaceOp(ProductKind::DateHelper, 6),
  DateHelperPartsOf = interfaceOp(ProductKind::DateHelper, 7),
  DateHelperDateFromDayNumber = interfaceOp(ProductKind::DateHelper, 8),
  TimeHour = interfaceOp(ProductKind::Time, 3),
  TimeMinute = interfaceOp(ProductKind::Time, 4),
  TimeSecond = interfaceOp(ProductKind::Time, 5),
  TimeSecondsFrom = interfaceOp(ProductKind::Time, 6),
  DateTimeDatePart = interfaceOp(ProductKind::DateTime, 3),
  DateTimeTimePart = interfaceOp(ProductKind::DateTime, 4),
  DecimalSign = interfaceOp(ProductKind::Decimal, 3),
  DecimalCompare = interfaceOp(ProductKind::Decimal, 4),
  DecimalAssign = interfaceOp(ProductKind::Decimal, 5),
  DecimalToDouble = interfaceOp(ProductKind::Decimal, 6),
  DecimalFromDouble = interfaceOp(ProductKind::Decimal, 7),
  BlobLength = interfaceOp(ProductKind::Blob, 3),
  BlobBytes = interfaceOp(ProductKind::Blob, 4),
  ArrayElementAt = interfaceOp(ProductKind::Array, 3),
  ArrayStoreElement = interfaceOp(ProductKind::Array, 4),
  ArrayDimensionCount = interfaceOp(ProductKind::Array, 5),
  ArrayBoundsList = interfaceOp(ProductKind::Array, 6),
  ArrayElementType = interfaceOp(ProductKind::Array, 7),
  BoundsListAppend = interfaceOp(ProductKind::BoundsList, 3),
  BoundsListCount = interfaceOp(ProductKind::BoundsList, 4),
  BoundsListBoundAt = interfaceOp(ProductKind::BoundsList, 5),
  BoundsListFirst = interfaceOp(ProductKind::BoundsList, 6),
  BoundsListNext = interfaceOp(ProductKind::BoundsList, 7),
  BoundLower = interfaceOp(ProductKind::Bound, 3),
  BoundCount = interfaceOp(ProductKind::Bound, 4),
  BoundUpper = interfaceOp(ProductKind::Bound, 5),
  AutomationInvoke = interfaceOp(ProductKind::Automation, 6),
};

// The typed get (or set) operation of a value type code 3..17.
constexpr Op valueGetOp(int32_t code) {
  return static_cast<Op>(static_cast<int32_t>(Op::ValueGetFirst) + code - kTypeCharacter);
}
constexpr Op valueSetOp(int32_t code) {
  return static_cast<Op>(static_cast<int32_t>(Op::ValueSetFirst) + code - kTypeCharacter);
}

// ---- constants of the event and object-handle operations -------------------
inline constexpr uint32_t kNoClass = 0xC0000000u;      // class of object: high 16 bits 0xC000
inline constexpr int32_t kNoEventToken = -1;           // event name token: no such name
inline constexpr uint32_t kNoEvent = 0xFFFFu;          // find event: low 16 bits 0xFFFF
inline constexpr int32_t kEventResultBytes = 8;        // trigger event's result area

// Argument modes of make argument.
inline constexpr int32_t kArgByValue = 1;
inline constexpr int32_t kArgByReference = 2;

}  // namespace mvcomm::vm
