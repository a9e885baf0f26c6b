// File: vm/internal/product.h
//
// The base of every VM product: reference counting, QueryInterface for
// IUnknown and the product's own interface, and the live count of its kind.
#pragma once

#include <atomic>
#include <new>

#include "vm/internal/accounting.h"
#include "vm/vm_interfaces.h"

namespace mvcomm::vm::internal {

template <class Interface, ProductKind Kind>
class Product : public Interface {
 public:
  Product() { born(Kind); }
  Product(const Product&) = delete;
  Product& operator=(const Product&) = delete;

  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == ownIid()) {
      *out = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    return queryMore(iid, out);
  }
  ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Product() { died(Kind); }
  virtual const IID& ownIid() const = 0;
  // Further interfaces of a product; E_NOINTERFACE by default.
  virtual HRESULT queryMore(REFIID, void**) { return E_NOINTERFACE; }

 private:
  std::atomic<ULONG> refs_{1};  // references; the creator holds the first
};

// Hands a new product to an out-pointer, or reports that it could not be
// made (its memory, or whatever its constructor allocates).
template <class T, class I, class... Args>
int32_t makeInto(I** out, Args&&... args) {
  T* made = nullptr;
  try {
    made = new T(std::forward<Args>(args)...);
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
  *out = made;
  return kVmOk;
}

}  // namespace mvcomm::vm::internal
