// File: vm/internal/products.h
//
// The VM's concrete products. Other files of vm/ reach each other's content
// through these classes (a typed set copies the content of the product it
// is given), never through the public interface, so that internal reads are
// neither counted nor failed by the injector.
//
// Sections: string, blob, decimal; calendar; value, argument; arrays;
// session, contexts, object.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "vm/class_library.h"
#include "vm/internal/product.h"
#include "vm/vm_types.h"

namespace mvcomm::vm::internal {

// Downcast of a product the VM made itself; null for a foreign implementation.
// Every product class is final, so an exact type test is enough, and it costs
// a fraction of dynamic_cast's hierarchy walk on every VM operation.
template <class Impl, class I>
Impl* impl(I* p) {
  static_assert(std::is_final_v<Impl>, "products are final classes");
  if (p == nullptr || typeid(*p) != typeid(Impl)) return nullptr;
  return static_cast<Impl*>(p);
}

// ---- string, blob, decimal ----------------------------------------------------
class StringImpl final : public Product<IVMString, ProductKind::String> {
 public:
  explicit StringImpl(std::string text) : text_(std::move(text)) {}
  int32_t text(const char** out) override;
  int32_t length(int32_t* bytes) override;
  const std::string& str() const { return text_; }

 protected:
  const IID& ownIid() const override { return IID_IVMString; }

 private:
  std::string text_;  // narrow text, no embedded NUL expected
};

class BlobImpl final : public Product<IVMBlob, ProductKind::Blob> {
 public:
  explicit BlobImpl(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  int32_t length(int32_t* bytes) override;
  int32_t bytes(const uint8_t** out) override;

 protected:
  const IID& ownIid() const override { return IID_IVMBlob; }

 private:
  std::vector<uint8_t> bytes_;  // the blob's own copy
};

class DecimalImpl final : public Product<IVMDecimal, ProductKind::Decimal> {
 public:
  explicit DecimalImpl(double v = 0.0) : value_(v) {}
  int32_t sign(int32_t* out) override;
  int32_t compare(IVMDecimal* other, int32_t* out) override;
  int32_t assign(IVMDecimal* from) override;
  int32_t toDouble(double* out) override;
  int32_t fromDouble(double value) override;
  double value() const { return value_; }

 protected:
  const IID& ownIid() const override { return IID_IVMDecimal; }

 private:
  double value_;  // finite; the automation side never sees more precision
};

// ---- calendar -------------------------------------------------------------------
class DateImpl final : public Product<IVMDate, ProductKind::Date> {
 public:
  explicit DateImpl(int32_t dayNumber) : dayNumber_(dayNumber) {}
  int32_t year(int32_t* out) override;
  int32_t month(int32_t* out) override;
  int32_t day(int32_t* out) override;
  int32_t dayOfWeek(int32_t* out) override;
  int32_t dayNumber(IVMDateHelper* helper, int32_t* out) override;
  int32_t days() const { return dayNumber_; }

 protected:
  const IID& ownIid() const override { return IID_IVMDate; }

 private:
  int32_t dayNumber_;  // days from 1899-12-31, within years 1..9999
};

class DateHelperImpl final : public Product<IVMDateHelper, ProductKind::DateHelper> {
 public:
  int32_t makeDate(int32_t year, int32_t month, int32_t day, IVMDate** out) override;
  int32_t isLeapYear(int32_t year, int32_t* out) override;
  int32_t daysInMonth(int32_t year, int32_t month, int32_t* out) override;
  int32_t dayNumberOf(int32_t year, int32_t month, int32_t day, int32_t* out) override;
  int32_t partsOf(int32_t dayNumber, int32_t* year, int32_t* month, int32_t* day) override;
  int32_t dateFromDayNumber(int32_t dayNumber, IVMDate** out) override;

 protected:
  const IID& ownIid() const override { return IID_IVMDateHelper; }
};

class TimeImpl final : public Product<IVMTime, ProductKind::Time> {
 public:
  explicit TimeImpl(int32_t seconds) : seconds_(seconds) {}
  int32_t hour(int32_t* out) override;
  int32_t minute(int32_t* out) override;
  int32_t second(int32_t* out) override;
  int32_t secondsFrom(IVMTime* reference, int32_t* out) override;
  int32_t seconds() const { return seconds_; }

 protected:
  const IID& ownIid() const override { return IID_IVMTime; }

 private:
  int32_t seconds_;  // from midnight, 0..86399
};

class DateTimeImpl final : public Product<IVMDateTime, ProductKind::DateTime> {
 public:
  DateTimeImpl(int32_t dayNumber, int32_t seconds) : dayNumber_(dayNumber), seconds_(seconds) {}
  int32_t datePart(IVMDate** out) override;
  int32_t timePart(IVMTime** out) override;
  int32_t days() const { return dayNumber_; }
  int32_t seconds() const { return seconds_; }

 protected:
  const IID& ownIid() const override { return IID_IVMDateTime; }

 private:
  int32_t dayNumber_;  // as DateImpl
  int32_t seconds_;    // as TimeImpl
};

// ---- value, argument -----------------------------------------------------------
class ValueImpl final : public Product<IVMValue, ProductKind::Value> {
 public:
  explicit ValueImpl(int32_t typeCode) : type_(typeCode) {}
  ~ValueImpl() override;

  int32_t typeCode(int32_t* out) override;
  int32_t isNull(int32_t* out) override;
  int32_t setNull() override;
  int32_t getCharacter(uint8_t* out) override;
  int32_t getWord4(int32_t* out) override;
  int32_t getWord5(uint32_t* out) override;
  int32_t getInteger(int16_t* out) override;
  int32_t getUnsignedInteger(uint16_t* out) override;
  int32_t getLong(int32_t* out) override;
  int32_t getUnsignedLong(uint32_t* out) override;
  int32_t getDecimal(IVMDecimal** out) override;
  int32_t getReal(float* out) override;
  int32_t getDouble(double* out) override;
  int32_t getBoolean(int32_t* out) override;
  int32_t getDate(IVMDate** out) override;
  int32_t getTime(IVMTime** out) override;
  int32_t getDateTime(IVMDateTime** out) override;
  int32_t getString(IVMString** out) override;
  int32_t getReference(IUnknown** out) override;
  int32_t setReference(IUnknown* reference) override;
  int32_t assign(IVMValue* from) override;
  int32_t setCharacter(int32_t byteSignExtended) override;
  int32_t setWord4(int32_t word) override;
  int32_t setWord5(uint32_t word) override;
  int32_t setInteger(int32_t signExtended) override;
  int32_t setUnsignedInteger(uint32_t zeroExtended) override;
  int32_t setLong(int32_t value) override;
  int32_t setUnsignedLong(uint32_t value) override;
  int32_t setDecimal(IVMDecimal* value) override;
  int32_t setReal(float value) override;
  int32_t setDouble(double value) override;
  int32_t setBoolean(int32_t word) override;
  int32_t setDate(IVMDate* value) override;
  int32_t setTime(IVMTime* value) override;
  int32_t setDateTime(IVMDateTime* value) override;
  int32_t setString(IVMString* value) override;

  // Internal access, no injection: content copy from a value of the same type.
  int32_t type() const { return type_; }
  bool null() const { return null_; }
  void copyFrom(const ValueImpl& other);
  int64_t integral() const { return integral_; }
  double floating() const { return floating_; }
  const std::string& text() const { return text_; }
  IUnknown* reference() const { return reference_; }

 protected:
  const IID& ownIid() const override { return IID_IVMValue; }

 private:
  int32_t expect(Op op, int32_t code) const;  // injection, then the type check
  void setIntegral(int64_t v) { integral_ = v; null_ = false; }

  int32_t type_;                 // type code 3..20, fixed for the value's life
  bool null_ = true;             // never set, or setNull
  int64_t integral_ = 0;         // codes 3..9, 13; date: day number; time: seconds;
                                 // datetime: day number * 86400 + seconds
  double floating_ = 0.0;        // codes 10 (decimal), 11, 12
  std::string text_;             // code 17
  IUnknown* reference_ = nullptr;  // codes 18..20: one reference held
};

class ArgumentImpl final : public Product<IVMArgument, ProductKind::Argument> {
 public:
  ArgumentImpl(IVMValue* value, int32_t mode) : value_(value), mode_(mode) { value_->AddRef(); }
  ~ArgumentImpl() override { value_->Release(); }
  int32_t value(IVMValue** out) override;
  int32_t mode(int32_t* out) override;
  IVMValue* borrowedValue() const { return value_; }

 protected:
  const IID& ownIid() const override { return IID_IVMArgument; }

 private:
  IVMValue* value_;  // one reference held
  int32_t mode_;     // kArgByValue or kArgByReference
};

// ---- arrays ---------------------------------------------------------------------
class BoundImpl final : public Product<IVMBound, ProductKind::Bound> {
 public:
  BoundImpl(int32_t lower, int32_t upper) : lower_(lower), upper_(upper) {}
  int32_t lower(int32_t* out) override;
  int32_t count(int32_t* out) override;
  int32_t upper(int32_t* out) override;
  int32_t lo() const { return lower_; }
  int32_t hi() const { return upper_; }

 protected:
  const IID& ownIid() const override { return IID_IVMBound; }

 private:
  int32_t lower_;  // lowest index
  int32_t upper_;  // highest index; lower - 1 for an empty dimension
};

class BoundsListImpl final : public Product<IVMBoundsList, ProductKind::BoundsList> {
 public:
  ~BoundsListImpl() override;
  int32_t append(IVMBound* bound) override;
  int32_t count(int32_t* out) override;
  int32_t boundAt(int32_t index, IVMBound** out) override;
  int32_t first(IVMBound** out) override;
  int32_t next(IVMBound** out) override;
  const std::vector<BoundImpl*>& bounds() const { return bounds_; }
  // Appends a bound, taking over the caller's reference (released on failure).
  int32_t adopt(BoundImpl* bound);

 protected:
  const IID& ownIid() const override { return IID_IVMBoundsList; }

 private:
  int32_t handOut(size_t index, IVMBound** out);
  std::vector<BoundImpl*> bounds_;  // one reference held on each
  size_t cursor_ = 0;               // index of the bound `next` hands out
};

class ValueContextImpl;

class ArrayImpl final : public Product<IVMArray, ProductKind::Array> {
 public:
  struct Dim {
    int32_t lower;  // lowest index
    int32_t upper;  // highest index
  };
  ArrayImpl(std::vector<Dim> dims, int32_t elementType, bool dynamic);
  ~ArrayImpl() override;
  int32_t elementAt(const int32_t* indices, int32_t dimensions, IVMValue** out) override;
  int32_t storeElement(const int32_t* indices, int32_t dimensions, IVMValue* value) override;
  int32_t dimensionCount(int32_t* out) override;
  int32_t boundsList(IVMBoundsList** out) override;
  int32_t elementType(int32_t* out) override;

 protected:
  const IID& ownIid() const override { return IID_IVMArray; }

 private:
  // Offset of the element in `elements_`, or -1 outside the bounds.
  int64_t offsetOf(const int32_t* indices, int32_t dimensions) const;

  std::vector<Dim> dims_;               // in dimension order
  int32_t elementType_;                 // 3..20
  bool dynamic_;                        // one-dimensional arrays grow on store past the end
  std::vector<ValueImpl*> elements_;    // first dimension fastest; null until touched
};

// ---- session, contexts, object ----------------------------------------------------
class SessionImpl final : public Product<IVMSession, ProductKind::Session> {
 public:
  // Takes over one count on the open module of `path` (session.cpp).
  SessionImpl(std::string path, const ClassLibrary* library);
  ~SessionImpl() override;
  int32_t libraryPath(IVMString** out) override;

  const ClassDef* findClass(const char* name) const;
  uint32_t contextHandle() const { return contextHandle_; }

 protected:
  const IID& ownIid() const override { return IID_IVMSession; }
  HRESULT queryMore(REFIID iid, void** out) override;

 private:
  std::string path_;               // module path the session was started with; its
                                   // open module is counted while the session lives
  const ClassLibrary* library_;    // the module's class library
  uint32_t contextHandle_;         // registered while the session lives
};

class SessionContextImpl final : public Product<IVMSessionContext, ProductKind::SessionContext> {
 public:
  explicit SessionContextImpl(SessionImpl* s) : session_(s) { session_->AddRef(); }
  ~SessionContextImpl() override { session_->Release(); }
  int32_t session(IVMSession** out) override;
  int32_t contextHandle(uint32_t* out) override;

 protected:
  const IID& ownIid() const override { return IID_IVMSessionContext; }

 private:
  SessionImpl* session_;  // one reference held
};

class ValueContextImpl final : public Product<IVMValueContext, ProductKind::ValueContext> {
 public:
  explicit ValueContextImpl(SessionImpl* s) : session_(s) { session_->AddRef(); }
  ~ValueContextImpl() override { session_->Release(); }
  int32_t session(IVMSession** out) override;

 protected:
  const IID& ownIid() const override { return IID_IVMValueContext; }

 private:
  SessionImpl* session_;  // one reference held
};

class ObjectImpl final : public Product<IVMObject, ProductKind::Object> {
 public:
  ObjectImpl(SessionImpl* session, const ClassDef* cls, void* instance);
  ~ObjectImpl() override;

  int32_t getVariable(IVMString* name, IVMValue** out) override;
  int32_t setVariable(IVMString* name, IVMValue* value) override;
  int32_t callFunction(IVMString* name, IVMArgument* const* args, int32_t count,
                       IVMValue** result, IUnknown** second, uint32_t* word) override;
  int32_t className(IVMString** out) override;
  int32_t session(IVMSession** out) override;
  int32_t variableType(IVMString* name, int32_t* typeCode, int32_t* readOnly) override;
  int32_t functionSignature(IVMString* name, int32_t* resultType, int32_t* paramCount) override;
  int32_t valueContext(IVMValueContext** out) override;

  const ClassDef* cls() const { return cls_; }
  void* instance() const { return instance_; }
  uint32_t handle() const { return handle_; }
  SessionImpl* owner() const { return session_; }

  const VariableDef* findVariable(const char* name) const;
  const FunctionDef* findFunction(const char* name) const;
  // The VM's work behind slots 3 to 5, without injection (also used by the
  // automation interface).
  int32_t readVariable(const VariableDef& var, ValueImpl** out);
  int32_t writeVariable(const VariableDef& var, ValueImpl& value);
  int32_t runFunction(const FunctionDef& fn, IVMValue* const* args, int32_t count,
                      ValueImpl** result);
  // Runs the named event if the class declares it; 0 when it does not.
  int32_t runEventByName(const char* name, int32_t* returnValue);

 protected:
  const IID& ownIid() const override { return IID_IVMObject; }
  HRESULT queryMore(REFIID iid, void** out) override;

 private:
  SessionImpl* session_;   // one reference held: the class's code lives in its module
  const ClassDef* cls_;    // the instance's class
  void* instance_;         // made by cls_->create, destroyed by cls_->destroy
  uint32_t handle_;        // registered while the object lives
};

class ObjectHandleImpl final : public Product<IVMObjectHandle, ProductKind::ObjectHandle> {
 public:
  explicit ObjectHandleImpl(ObjectImpl* o) : object_(o) { object_->AddRef(); }
  ~ObjectHandleImpl() override { object_->Release(); }
  int32_t object(IVMObject** out) override;
  int32_t objectHandle(uint32_t* out) override;

 protected:
  const IID& ownIid() const override { return IID_IVMObjectHandle; }

 private:
  ObjectImpl* object_;  // one reference held
};

// ASCII case-insensitive equality of two NUL-terminated names.
bool sameName(const char* a, const char* b);

// Text of a VM string the VM made; null for a missing or foreign one.
const char* textOf(IVMString* s);

// Handle registry (handles.cpp). Handles are never 0 and never reused.
uint32_t registerSession(SessionImpl* s);
void unregisterSession(uint32_t handle);
uint32_t registerObject(ObjectImpl* o);
void unregisterObject(uint32_t handle);
// Interns the event names of a class library (so they have tokens).
void registerEventNames(const ClassLibrary* library);

// Automation interface over an object (automation.cpp); E_NOINTERFACE
// while the automation layer is absent.
HRESULT makeAutomation(ObjectImpl* object, void** out);

}  // namespace mvcomm::vm::internal
