// File: tests/arrays/array_test_support.h
//
// Building SAFEARRAYs and VM arrays of any shape for the array tests, and
// reading their elements back.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "arrays/pbcom_array_marshaller.h"
#include "tests/convert/convert_test_support.h"

namespace mvcomm::arrays::test {

using convert::test::ConvertFixture;
using convert::test::Counts;
using convert::test::Ref;
using convert::test::Var;

struct Dim {
  int32_t lower;
  int32_t upper;
};

// Every index vector of the dimensions, first dimension fastest.
inline std::vector<std::vector<int32_t>> indicesOf(const std::vector<Dim>& dims) {
  std::vector<std::vector<int32_t>> all;
  std::vector<int32_t> index;
  for (const Dim& d : dims) {
    if (d.upper < d.lower) return all;
    index.push_back(d.lower);
  }
  for (;;) {
    all.push_back(index);
    size_t d = 0;
    for (; d < dims.size(); ++d) {
      if (++index[d] <= dims[d].upper) break;
      index[d] = dims[d].lower;
    }
    if (d == dims.size()) return all;
  }
}

inline SAFEARRAY* makeSafeArray(VARTYPE vt, const std::vector<Dim>& dims) {
  std::vector<SAFEARRAYBOUND> bounds;
  for (const Dim& d : dims) {
    bounds.push_back({static_cast<ULONG>(d.upper - d.lower + 1), d.lower});
  }
  return SafeArrayCreate(vt, static_cast<UINT>(bounds.size()), bounds.data());
}

class ArrayFixture : public ConvertFixture {
 protected:
  Ref<vm::IVMArray> makeVMArray(int32_t code, const std::vector<Dim>& dims, bool fixed = true) {
    Ref<vm::IVMBoundsList> list;
    EXPECT_EQ(vm::vmMakeBoundsList(list.out()), 0);
    for (const Dim& d : dims) {
      Ref<vm::IVMBound> bound;
      EXPECT_EQ(vm::vmMakeBound(d.lower, d.upper, context_.get(), bound.out()), 0);
      EXPECT_EQ(list->append(bound.get()), 0);
    }
    Ref<vm::IVMArray> array;
    const int32_t status =
        fixed ? vm::vmMakeArray(list.get(), code, context_.get(), array.out())
              : vm::vmMakeDynamicArray(list.get(), code, context_.get(), array.out());
    EXPECT_EQ(status, 0);
    return array;
  }
  // The bounds of a VM array, dimension 1 first.
  std::vector<Dim> boundsOf(vm::IVMArray* array) {
    std::vector<Dim> dims;
    int32_t count = 0;
    array->dimensionCount(&count);
    Ref<vm::IVMBoundsList> list;
    EXPECT_EQ(array->boundsList(list.out()), 0);
    for (int32_t i = 0; i < count; ++i) {
      Ref<vm::IVMBound> bound;
      EXPECT_EQ(list->boundAt(i, bound.out()), 0);
      Dim d{};
      bound->lower(&d.lower);
      bound->upper(&d.upper);
      dims.push_back(d);
    }
    return dims;
  }
  // The element's value, borrowed from the array; null if none.
  vm::IVMValue* at(vm::IVMArray* array, const std::vector<int32_t>& index) {
    vm::IVMValue* value = nullptr;
    if (array->elementAt(index.data(), static_cast<int32_t>(index.size()), &value) < 0) return nullptr;
    return value;
  }
  bool isSet(vm::IVMArray* array, const std::vector<int32_t>& index) {
    vm::IVMValue* value = at(array, index);
    int32_t null = 1;
    return value != nullptr && value->isNull(&null) >= 0 && null == 0;
  }
  int32_t longAt(vm::IVMArray* array, const std::vector<int32_t>& index) {
    int32_t v = INT32_MIN;
    vm::IVMValue* value = at(array, index);
    if (value != nullptr) value->getLong(&v);
    return v;
  }
  void storeLong(vm::IVMArray* array, const std::vector<int32_t>& index, int32_t v) {
    vm::IVMValue* value = nullptr;
    ASSERT_EQ(vm::vmMakeValue(vm::kTypeLong, context_.get(), &value), 0);
    ASSERT_EQ(value->setLong(v), 0);
    ASSERT_EQ(array->storeElement(index.data(), static_cast<int32_t>(index.size()), value), 0);
  }
};

inline LONG longIn(SAFEARRAY* psa, std::vector<int32_t> index) {
  LONG v = INT32_MIN;
  SafeArrayGetElement(psa, reinterpret_cast<LONG*>(index.data()), &v);
  return v;
}

inline void putLong(SAFEARRAY* psa, std::vector<int32_t> index, LONG v) {
  ASSERT_EQ(SafeArrayPutElement(psa, reinterpret_cast<LONG*>(index.data()), &v), S_OK);
}

}  // namespace mvcomm::arrays::test
