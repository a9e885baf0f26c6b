// File: vm/automation.cpp
//
// The VM automation interface of an object: a late-bound IDispatch over its
// instance variables and functions.

#include "vm/internal/products.h"

namespace mvcomm::vm::internal {

HRESULT makeAutomation(ObjectImpl*, void** out) {
  *out = nullptr;
  return E_NOINTERFACE;
}

}  // namespace mvcomm::vm::internal
