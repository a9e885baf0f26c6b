// File: vm/scalars.cpp
//
// Strings, blobs and decimals: the products that hold one piece of data.

#include <cmath>
#include <cstring>

#include "vm/internal/products.h"
#include "vm/vm_api.h"

namespace mvcomm::vm {
namespace internal {

bool sameName(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
    if (x == 0) return true;
  }
}

const char* textOf(IVMString* s) {
  auto* str = impl<StringImpl>(s);
  return str ? str->str().c_str() : nullptr;
}

// ---- string ----
int32_t StringImpl::text(const char** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::StringText)) return st;
  *out = text_.c_str();
  return kVmOk;
}

int32_t StringImpl::length(int32_t* bytes) {
  if (bytes == nullptr) return kVmErrBadArgument;
  *bytes = 0;
  if (int32_t st = injected(Op::StringLength)) return st;
  *bytes = static_cast<int32_t>(text_.size());
  return kVmOk;
}

// ---- blob ----
int32_t BlobImpl::length(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::BlobLength)) return st;
  *out = static_cast<int32_t>(bytes_.size());
  return kVmOk;
}

int32_t BlobImpl::bytes(const uint8_t** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::BlobBytes)) return st;
  *out = bytes_.data();
  return kVmOk;
}

// ---- decimal ----
int32_t DecimalImpl::sign(int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  if (int32_t st = injected(Op::DecimalSign)) return st;
  *out = value_ > 0 ? 1 : value_ < 0 ? -1 : 0;
  return kVmOk;
}

int32_t DecimalImpl::compare(IVMDecimal* other, int32_t* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0;
  auto* o = impl<DecimalImpl>(other);
  if (o == nullptr) return kVmErrBadArgument;
  if (int32_t st = injected(Op::DecimalCompare)) return st;
  *out = value_ > o->value_ ? 1 : value_ < o->value_ ? -1 : 0;
  return kVmOk;
}

int32_t DecimalImpl::assign(IVMDecimal* from) {
  auto* o = impl<DecimalImpl>(from);
  if (o == nullptr) return kVmErrBadArgument;
  if (int32_t st = injected(Op::DecimalAssign)) return st;
  value_ = o->value_;
  return kVmOk;
}

int32_t DecimalImpl::toDouble(double* out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = 0.0;
  if (int32_t st = injected(Op::DecimalToDouble)) return st;
  *out = value_;
  return kVmOk;
}

int32_t DecimalImpl::fromDouble(double value) {
  if (int32_t st = injected(Op::DecimalFromDouble)) return st;
  // A decimal has no NaN or infinity; keeping one would poison every later read.
  if (!std::isfinite(value)) return kVmErrOutOfRange;
  value_ = value;
  return kVmOk;
}

}  // namespace internal

using namespace internal;

int32_t vmMakeString(const char* text, IVMString** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::MakeString)) return st;
  if (text == nullptr) return kVmErrBadArgument;
  try {
    return makeInto<StringImpl>(out, std::string(text));
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
}

int32_t vmMakeBlob(int32_t count, const uint8_t* bytes, IVMBlob** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::MakeBlob)) return st;
  if (count < 0 || (count > 0 && bytes == nullptr)) return kVmErrBadArgument;
  try {
    return makeInto<BlobImpl>(out, std::vector<uint8_t>(bytes, bytes + count));
  } catch (const std::bad_alloc&) {
    return kVmErrNoMemory;
  }
}

int32_t vmMakeDecimal(IVMDecimal** out) {
  if (out == nullptr) return kVmErrBadArgument;
  *out = nullptr;
  if (int32_t st = injected(Op::MakeDecimal)) return st;
  return makeInto<DecimalImpl>(out, 0.0);
}

}  // namespace mvcomm::vm
