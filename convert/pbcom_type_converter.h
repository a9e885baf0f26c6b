// File: convert/pbcom_type_converter.h
//
// PBCOMTypeConverter: every value between an automation client and the VM
// crosses here. Each operation returns a status (convert/pbcom_status.h;
// negative is failure), takes its destination first and its source second,
// and writes the destination only on success. A VM-object destination is an
// out-pointer that receives one reference owned by the caller; it is null
// after a failure unless the operation says otherwise.
//
// Writing a VARIANT destination (the destination rule): a by-value VARIANT is
// cleared and retagged; a by-reference VARIANT keeps its reference and gets
// the value through it, but only when it refers to storage of the
// operation's own type: any other by-reference destination is refused with
// -8303, so no value of another width is ever written through it.
//
// Narrow text is in the process code page (platform/ole/code_page.h).
//
// Sections: type table; numbers and booleans; characters and strings; dates,
// times and datetimes; decimals, blobs and object references; arrays.
#pragma once

#include <cstdint>

#include "convert/pbcom_status.h"
#include "platform/ole/oaidl.h"
#include "platform/ole/oleauto.h"
#include "vm/vm_interfaces.h"

namespace mvcomm::convert {

class PBCOMTypeConverter {
 public:
  PBCOMTypeConverter() = default;
  PBCOMTypeConverter(const PBCOMTypeConverter&) = delete;
  PBCOMTypeConverter& operator=(const PBCOMTypeConverter&) = delete;

  // ---- type table (convert/pbcom_type_table.h) ----------------------------
  // Names compare ASCII case-insensitively; the first matching row wins.
  // Each gives 0, E_FAIL when no row matches, E_INVALIDARG for a missing
  // name or out-pointer. The texts handed out are the table's own.
  static int32_t FindNativeType(const char* pbType, const char** nativeType);
  // Either out-pointer may be null, not both.
  static int32_t FindAutomationType(const char* pbType, const char** automationType,
                                    VARTYPE* variantType);
  static int32_t FindPBTypeByNativeType(const char* nativeType, const char** pbType);
  // Compares automationType when given, else variantType.
  static int32_t FindPBTypeByAutomationType(const char* automationType, VARTYPE variantType,
                                            const char** pbType);
  // automationFlavour nonzero reads the automation flag, zero the native one.
  static int32_t NeedsConversion(const char* pbType, int32_t automationFlavour,
                                 int32_t* needsConversion);

  // ---- numbers and booleans -----------------------------------------------
  // VARIANT to C: a VARIANT of the operation's own type, by value or by
  // reference, is read directly; anything else is coerced with
  // VariantChangeType, whose failure status is returned with the
  // destination untouched. C to VARIANT: 0, or -8303 for a refused
  // by-reference destination. -8303 for missing pointers.
  int32_t VariantToDouble(double* dest, const VARIANT* src);
  int32_t DoubleToVariant(VARIANT* dest, double src);
  int32_t VariantToFloat(float* dest, const VARIANT* src);
  int32_t FloatToVariant(VARIANT* dest, float src);
  int32_t VariantToShort(int16_t* dest, const VARIANT* src);
  int32_t ShortToVariant(VARIANT* dest, int16_t src);
  int32_t VariantToUShort(uint16_t* dest, const VARIANT* src);
  int32_t UShortToVariant(VARIANT* dest, uint16_t src);
  int32_t VariantToLong(int32_t* dest, const VARIANT* src);
  int32_t LongToVariant(VARIANT* dest, int32_t src);
  int32_t VariantToULong(uint32_t* dest, const VARIANT* src);
  int32_t ULongToVariant(VARIANT* dest, uint32_t src);

  // The VM's boolean: 32-bit, 1 is true. VARIANT_BOOL: -1 is true.
  // Only -1 is rewritten (to 1); other values pass sign-extended.
  int32_t VariantBoolToBoolean(int32_t* dest, VARIANT_BOOL src);
  int32_t VariantBoolRefToBoolean(int32_t* dest, const VARIANT_BOOL* src);
  // Nonzero gives -1.
  int32_t BooleanToVariantBool(VARIANT_BOOL* dest, int32_t src);
  // Always coerces to VT_BOOL first, also a VT_BOOL source.
  int32_t VariantToBoolean(int32_t* dest, const VARIANT* src);
  int32_t BooleanToVariant(VARIANT* dest, int32_t src);

  // ---- characters and strings ---------------------------------------------
  // Text towards the VM is cut at its first zero code unit. The narrow
  // buffer is sized for the whole converted text, so no character is lost.
  // Errors: -8303 missing destination or null BSTR; E_FAIL the narrow buffer
  // could not be allocated; the VM's status from making the string.
  int32_t BstrToVMString(vm::IVMString** dest, BSTR src);
  // A null pointed-to BSTR is the empty text.
  int32_t BstrRefToVMString(vm::IVMString** dest, const BSTR* src);
  int32_t WideToVMString(vm::IVMString** dest, const OLECHAR* src);
  int32_t VariantToVMString(vm::IVMString** dest, const VARIANT* src);
  // The BSTR is the caller's (SysFreeString); an empty text gives an
  // allocated empty BSTR. Errors: -8303; E_FAIL the VM string gave no text
  // (destination untouched); -8301 the wide buffer or the BSTR could not be
  // allocated (destination null).
  int32_t VMStringToBstr(BSTR* dest, vm::IVMString* src);
  // A by-reference VT_BSTR destination receives the new BSTR through its
  // reference; the BSTR it referred to before is left to its owner.
  int32_t VMStringToVariant(VARIANT* dest, vm::IVMString* src);
  // The caller's buffer must hold (byte length of the text + 1) code units.
  int32_t VMStringToWideBuffer(OLECHAR* dest, vm::IVMString* src);
  // A null *dest receives a CoTaskMemAlloc buffer (the caller frees it with
  // CoTaskMemFree; -8301 when it cannot be had); a non-null *dest must hold
  // (byte length + 1) code units.
  int32_t VMStringToWide(OLECHAR** dest, vm::IVMString* src);
  int32_t CharToChar(unsigned char* dest, unsigned char src);
  int32_t CharToChar(char* dest, char src);
  int32_t CharRefToChar(unsigned char* dest, const unsigned char* src);
  // VT_BSTR: the first byte of the text's narrow form (0 for an empty or
  // null BSTR); anything else is coerced to VT_UI1.
  int32_t VariantToChar(unsigned char* dest, const VARIANT* src);
  int32_t CharToVariant(VARIANT* dest, unsigned char src);

  // ---- dates, times and datetimes -------------------------------------------
  // DATE: days from 1899-12-30; the whole part (toward zero) is the day, the
  // fraction without its sign the time of day. Day number = whole - 1.
  // Errors towards the VM: -8303; 0x80043C00 no date helper; -8406 no VM date
  // for the day number (also a DATE whose day lies outside 32 bits or is not
  // a number); -8408 no VM time; -8410 no join.
  int32_t DateToVMDate(vm::IVMDate** dest, DATE src);
  int32_t DateRefToVMDate(vm::IVMDate** dest, const DATE* src);
  int32_t VariantToVMDate(vm::IVMDate** dest, const VARIANT* src);
  int32_t DateToVMTime(vm::IVMTime** dest, DATE src);
  int32_t DateRefToVMTime(vm::IVMTime** dest, const DATE* src);
  int32_t VariantToVMTime(vm::IVMTime** dest, const VARIANT* src);
  int32_t DateToVMDateTime(vm::IVMDateTime** dest, DATE src);
  int32_t DateRefToVMDateTime(vm::IVMDateTime** dest, const DATE* src);
  int32_t VariantToVMDateTime(vm::IVMDateTime** dest, const VARIANT* src);
  // From the VM: -8303; -8407 no day number / seconds / part; the VM's status
  // when the date helper or midnight cannot be made. A day outside the DATE
  // range gives 0.0 with status 0.
  int32_t VMDateToDate(DATE* dest, vm::IVMDate* src);
  int32_t VMDateToVariant(VARIANT* dest, vm::IVMDate* src);
  int32_t VMTimeToDate(DATE* dest, vm::IVMTime* src);
  int32_t VMTimeToVariant(VARIANT* dest, vm::IVMTime* src);
  // A datetime before 1899-12-30 gives a negative DATE whose fraction counts
  // away from zero, so it converts back to the same day and time.
  int32_t VMDateTimeToDate(DATE* dest, vm::IVMDateTime* src);
  int32_t VMDateTimeToVariant(VARIANT* dest, vm::IVMDateTime* src);

  // ---- decimals, blobs and object references ----------------------------------
  // E_FAIL when the VM decimal cannot be made. When setting its value fails,
  // the VM decimal stays in *dest and the caller releases it.
  int32_t DoubleToVMDecimal(vm::IVMDecimal** dest, double src);
  int32_t DoubleRefToVMDecimal(vm::IVMDecimal** dest, const double* src);
  int32_t VMDecimalToDouble(double* dest, vm::IVMDecimal* src);
  int32_t VariantToVMDecimal(vm::IVMDecimal** dest, const VARIANT* src);
  // By value: VT_DECIMAL. By reference: VT_R8 gets the double, VT_DECIMAL
  // the DECIMAL; other references -8303. A double that no DECIMAL holds
  // gives VarDecFromR8's status, the VARIANT untouched.
  int32_t VMDecimalToVariant(VARIANT* dest, vm::IVMDecimal* src);
  // One dimension of one-byte elements, else -8303.
  int32_t SafeArrayToVMBlob(vm::IVMBlob** dest, SAFEARRAY** src);
  // *dest null: a new VT_UI1 array (0 .. length-1). An existing array must
  // have one dimension of one-byte plain elements (else -8303) and is
  // resized. An empty blob gives -8303.
  int32_t VMBlobToSafeArray(SAFEARRAY** dest, vm::IVMBlob* src);
  int32_t VariantToVMBlob(vm::IVMBlob** dest, const VARIANT* src);
  // The VARIANT must already hold an array (-8303; E_FAIL for VT_BYREF with
  // VT_VARIANT); its tag is kept.
  int32_t VMBlobToVariant(VARIANT* dest, vm::IVMBlob* src);
  // QueryInterface's status passes through.
  int32_t UnknownToVMObject(vm::IVMObject** dest, IUnknown* src);
  int32_t UnknownRefToVMObject(vm::IVMObject** dest, IUnknown** src);
  int32_t VMObjectToDispatch(IDispatch** dest, vm::IVMObject* src);
  int32_t VariantToVMObject(vm::IVMObject** dest, const VARIANT* src);
  int32_t VMObjectToVariant(VARIANT* dest, vm::IVMObject* src);

  // ---- arrays (defined in arrays/, library mv_arrays) ----------------------------
  // Always 0 once the arguments are valid (-8303 otherwise): an array that
  // cannot be made leaves *dest null, and the first element that fails ends
  // the walk with the elements before it converted. arrayKind nonzero makes
  // the VM array with fixed bounds, zero with growing bounds.
  int32_t SafeArrayToVMArray(vm::IVMArray** dest, vm::IVMValueContext* context, SAFEARRAY* src,
                             int32_t elementType, int32_t arrayKind);
  int32_t SafeArrayRefToVMArray(vm::IVMArray** dest, vm::IVMValueContext* context,
                                SAFEARRAY** src, int32_t elementType, int32_t arrayKind);
  int32_t VariantToVMArray(vm::IVMArray** dest, vm::IVMValueContext* context, const VARIANT* src,
                           int32_t elementType, int32_t arrayKind);
  // *dest null receives a new SAFEARRAY shaped like the VM array; an
  // existing one is filled in place (indices one lower when its recorded
  // lower bound is 0). The context is not used. 0 unless the VM array is
  // missing (-8303).
  int32_t VMArrayToSafeArray(SAFEARRAY** dest, vm::IVMValueContext* context, vm::IVMArray* src,
                             int32_t elementType);
  // -8303 when the VARIANT holds no array; E_FAIL for VT_BYREF with VT_VARIANT.
  int32_t VMArrayToVariant(VARIANT* dest, vm::IVMValueContext* context, vm::IVMArray* src,
                           int32_t elementType);
};

}  // namespace mvcomm::convert
