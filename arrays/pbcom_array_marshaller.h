// File: arrays/pbcom_array_marshaller.h
//
// PBCOMArrayMarshaller: walks every element of an array once, converting
// between a SAFEARRAY and a VM array one element per step. Made for one
// conversion, in one of two directions, and discarded at its end.
//
// The walk: `indices` holds the SAFEARRAY index of the current element, the
// first dimension varying fastest; entry 0 going negative ends the walk (so
// a walk whose first dimension starts below 0 ends at once). VM indices are
// the SAFEARRAY indices, or one more when `shifted`:
//   SAFEARRAY -> VM: bounds with lower bound 1 are kept; any other lower
//                    bound L becomes L + 1 in the VM array (0 -> 1, 5 -> 6);
//   VM -> SAFEARRAY: an existing SAFEARRAY whose recorded lower bound is 0
//                    takes every VM index at one less.
//
// Element types outside the pairing the caller promises are refused rather
// than read or written at another width: a walk that meets such an element
// ends with -8327. An element whose conversion fails ends the walk with the
// converter's status and is not stored.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "convert/pbcom_type_converter.h"
#include "platform/ole/oleauto.h"
#include "vm/vm_interfaces.h"

namespace mvcomm::arrays {

class PBCOMArrayMarshaller {
 public:
  // SAFEARRAY -> VM: records the SAFEARRAY's bounds and makes the VM array
  // (fixed bounds when arrayKind is nonzero, growing when zero). vmArray()
  // is null when a bound query, a VM bound or the VM array failed.
  PBCOMArrayMarshaller(SAFEARRAY* safeArray, int32_t elementType, vm::IVMValueContext* context,
                       int32_t arrayKind);
  // VM -> SAFEARRAY: fills `existing` in place (neither resized nor retyped)
  // or, when it is null, a new SAFEARRAY of VariantTypeOf(elementType) with
  // the VM array's bounds. The VM array is borrowed.
  PBCOMArrayMarshaller(vm::IVMArray* vmArray, SAFEARRAY* existing, int32_t elementType);
  // Releases the bounds list and, in the SAFEARRAY -> VM direction, the VM
  // array. Never destroys the SAFEARRAY.
  ~PBCOMArrayMarshaller();
  PBCOMArrayMarshaller(const PBCOMArrayMarshaller&) = delete;
  PBCOMArrayMarshaller& operator=(const PBCOMArrayMarshaller&) = delete;

  // Positions the walk on the first element (or ends it).
  void ResetIndices();
  // Moves to the next element, first dimension fastest; ends the walk after
  // the last.
  void NextIndex();
  // Converts every element until one fails; that element's status, or 0.
  int32_t FillVMArray();
  int32_t FillSafeArray();
  // One element at the current index. 0 when the walk has ended or there is
  // no SAFEARRAY. -8327 the element could not be read (or does not fit);
  // -8326 its type code has no conversion; otherwise the VM's or the
  // converter's status. An element whose conversion fails is not stored:
  // a VM decimal, date, time or datetime that gives no double or DATE
  // (-8407 and the like) leaves the SAFEARRAY element as it was, as a
  // string that gives no BSTR does, rather than store 0.0 (1899-12-30).
  int32_t PutVMElement();
  int32_t PutSafeArrayElement();
  // The VARIANT type paired with a VM type code.
  static VARTYPE VariantTypeOf(int32_t elementType);

  SAFEARRAY* safeArray() const { return safeArray_; }
  vm::IVMArray* vmArray() const { return vmArray_; }
  bool shifted() const { return shifted_ != 0; }
  const std::vector<LONG>& indices() const { return indices_; }

 private:
  bool walking() const { return !indices_.empty() && indices_[0] >= 0; }
  void prepareWalk(uint32_t dimensions);
  // The VM index of the current element (in vmIndex_), or null when it
  // lies past the top of 32 bits.
  const int32_t* vmIndex(bool towardsVM);
  // Whether the SAFEARRAY's elements may be read or written as elementType.
  bool elementsFit() const;
  convert::PBCOMTypeConverter& converter();

  SAFEARRAY* safeArray_ = nullptr;          // borrowed, or made here (VM -> SAFEARRAY)
  vm::IVMArray* vmArray_ = nullptr;         // owned (SAFEARRAY -> VM) or borrowed
  vm::IVMValueContext* vmContext_ = nullptr;  // borrowed; SAFEARRAY -> VM only
  std::vector<SAFEARRAYBOUND> bounds_;      // per dimension, dimension 1 first: SAFEARRAY bounds
  vm::IVMBoundsList* boundsList_ = nullptr;  // owned
  int32_t elementType_ = 0;                 // VM type code of the elements
  std::vector<LONG> indices_;               // current SAFEARRAY index; empty: no walk
  std::vector<int32_t> vmIndex_;            // scratch for the VM index
  uint32_t dimensions_ = 0;                 // number of dimensions
  convert::PBCOMTypeConverter converter_;   // stateless: costs nothing to hold
  int32_t shifted_ = 0;                     // 1: VM indices differ from SAFEARRAY indices
  bool ownsVmArray_ = false;                // SAFEARRAY -> VM direction
};

}  // namespace mvcomm::arrays
