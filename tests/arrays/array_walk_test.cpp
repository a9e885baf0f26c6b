// File: tests/arrays/array_walk_test.cpp
//
// The walk: bounds and index mapping over 1, 2 and 3 dimensions, shifted and
// unshifted, in both directions, and the entry points' argument handling.
#include <gtest/gtest.h>

#include "tests/arrays/array_test_support.h"

namespace mvcomm::arrays::test {
namespace {

using convert::kPbcomErrBadArgument;

// A SAFEARRAY index mapped to its VM index in the SAFEARRAY -> VM direction.
std::vector<int32_t> toVMIndex(const std::vector<int32_t>& index, const std::vector<Dim>& dims) {
  std::vector<int32_t> out = index;
  for (size_t d = 0; d < dims.size(); ++d) {
    if (dims[d].lower != 1) ++out[d];
  }
  return out;
}

class ArrayWalk : public ArrayFixture {};

TEST_F(ArrayWalk, SafeArrayToVMArrayMovesEveryLowerBoundOtherThanOneUpByOne) {
  const std::vector<std::vector<Dim>> kShapes = {
      {{0, 2}},
      {{1, 3}},
      {{5, 7}},
      {{1, 2}, {1, 3}},
      {{0, 1}, {1, 2}},
      {{1, 2}, {0, 1}},
      {{0, 1}, {1, 3}, {-2, -1}},
      {{3, 4}, {-1, 0}, {1, 2}},
  };
  for (const auto& dims : kShapes) {
    SCOPED_TRACE(::testing::PrintToString(dims.size()) + " dims, first lower " +
                 std::to_string(dims[0].lower));
    SAFEARRAY* psa = makeSafeArray(VT_I4, dims);
    int32_t next = 100;
    for (const auto& index : indicesOf(dims)) putLong(psa, index, next++);

    Ref<vm::IVMArray> array;
    ASSERT_EQ(conv_.SafeArrayToVMArray(array.out(), context_.get(), psa, vm::kTypeLong, 1), 0);
    ASSERT_TRUE(array);
    const auto vmDims = boundsOf(array.get());
    ASSERT_EQ(vmDims.size(), dims.size());
    for (size_t d = 0; d < dims.size(); ++d) {
      const int32_t shift = dims[d].lower == 1 ? 0 : 1;
      EXPECT_EQ(vmDims[d].lower, dims[d].lower + shift);
      EXPECT_EQ(vmDims[d].upper, dims[d].upper + shift);
    }
    for (const auto& index : indicesOf(dims)) {
      EXPECT_EQ(longAt(array.get(), toVMIndex(index, dims)), longIn(psa, index));
    }

    // And back into a new SAFEARRAY: shaped like the VM array, same indices.
    SAFEARRAY* back = nullptr;
    ASSERT_EQ(conv_.VMArrayToSafeArray(&back, context_.get(), array.get(), vm::kTypeLong), 0);
    ASSERT_NE(back, nullptr);
    for (const auto& index : indicesOf(vmDims)) {
      EXPECT_EQ(longIn(back, index), longAt(array.get(), index));
    }
    SafeArrayDestroy(back);
    SafeArrayDestroy(psa);
  }
}

TEST_F(ArrayWalk, FirstDimensionFastestOverTwoAndThreeDimensions) {
  struct {
    std::vector<Dim> dims;
  } const kCases[] = {{{{1, 2}, {1, 3}}}, {{{0, 1}, {2, 3}, {-1, 0}}}};
  for (const auto& c : kCases) {
    SAFEARRAY* psa = makeSafeArray(VT_I4, c.dims);
    PBCOMArrayMarshaller walker(psa, vm::kTypeLong, context_.get(), 1);
    std::vector<std::vector<int32_t>> visited;
    walker.ResetIndices();
    while (walker.indices()[0] >= 0) {
      visited.emplace_back(walker.indices().begin(), walker.indices().end());
      walker.NextIndex();
    }
    EXPECT_EQ(visited, indicesOf(c.dims));
    SafeArrayDestroy(psa);
  }
  // The 2 by 3 case spelled out.
  EXPECT_EQ(indicesOf({{1, 2}, {1, 3}}),
            (std::vector<std::vector<int32_t>>{{1, 1}, {2, 1}, {1, 2}, {2, 2}, {1, 3}, {2, 3}}));
}

TEST_F(ArrayWalk, NegativeFirstLowerBoundOrEmptyArrayConvertsNoElement) {
  struct {
    std::vector<Dim> dims;
    std::vector<Dim> vmDims;
  } const kCases[] = {
      {{{-1, 1}}, {{0, 2}}},
      {{{0, -1}}, {{1, 0}}},
      {{{1, 0}}, {{1, 0}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.dims[0].lower);
    SAFEARRAY* psa = makeSafeArray(VT_I4, c.dims);
    for (const auto& index : indicesOf(c.dims)) putLong(psa, index, 9);
    Ref<vm::IVMArray> array;
    ASSERT_EQ(conv_.SafeArrayToVMArray(array.out(), context_.get(), psa, vm::kTypeLong, 0), 0);
    ASSERT_TRUE(array);
    const auto vmDims = boundsOf(array.get());
    EXPECT_EQ(vmDims[0].lower, c.vmDims[0].lower);
    EXPECT_EQ(vmDims[0].upper, c.vmDims[0].upper);
    for (const auto& index : indicesOf(vmDims)) EXPECT_FALSE(isSet(array.get(), index));
    SafeArrayDestroy(psa);
  }
}

TEST_F(ArrayWalk, BoundsAtTheTopOfThirtyTwoBitsGiveNoArray) {
  // Moved up by one, these bounds leave 32 bits: no VM array, no element.
  const std::vector<std::vector<Dim>> kShapes = {
      {{INT32_MAX, INT32_MAX - 1}},
      {{1, 1}, {INT32_MAX - 1, INT32_MAX}},
  };
  for (const auto& dims : kShapes) {
    SAFEARRAY* psa = makeSafeArray(VT_I4, dims);
    ASSERT_NE(psa, nullptr);
    Ref<vm::IVMArray> array;
    EXPECT_EQ(conv_.SafeArrayToVMArray(array.out(), context_.get(), psa, vm::kTypeLong, 1), 0);
    EXPECT_FALSE(array);
    SafeArrayDestroy(psa);
  }
}

TEST_F(ArrayWalk, EntryPointsCheckTheirArgumentsAndVariants) {
  SAFEARRAY* psa = makeSafeArray(VT_I4, {{0, 1}});
  putLong(psa, {0}, 4);
  putLong(psa, {1}, 5);
  Ref<vm::IVMArray> array;
  EXPECT_EQ(conv_.SafeArrayToVMArray(nullptr, context_.get(), psa, 8, 1), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.SafeArrayToVMArray(array.out(), nullptr, psa, 8, 1), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.SafeArrayToVMArray(array.out(), context_.get(), nullptr, 8, 1),
            kPbcomErrBadArgument);
  EXPECT_EQ(conv_.SafeArrayRefToVMArray(array.out(), context_.get(), nullptr, 8, 1),
            kPbcomErrBadArgument);

  Var v;
  v.vt = VT_ARRAY | VT_I4;
  v.parray = psa;
  VARIANT outer{};
  outer.vt = VT_BYREF | VT_VARIANT;
  outer.pvarVal = &v;
  ASSERT_EQ(conv_.VariantToVMArray(array.out(), context_.get(), &outer, 8, 1), 0);
  EXPECT_EQ(longAt(array.get(), {2}), 5);
  VARIANT byRef{};
  byRef.vt = VT_BYREF | VT_ARRAY | VT_I4;
  byRef.pparray = &v.parray;
  ASSERT_EQ(conv_.VariantToVMArray(array.out(), context_.get(), &byRef, 8, 0), 0);
  EXPECT_EQ(longAt(array.get(), {1}), 4);
  Var number;
  number.vt = VT_I4;
  EXPECT_EQ(conv_.VariantToVMArray(array.out(), context_.get(), &number, 8, 1),
            kPbcomErrBadArgument);
  VARIANT loop{};
  loop.vt = VT_BYREF | VT_VARIANT;
  loop.pvarVal = &loop;
  EXPECT_EQ(conv_.VariantToVMArray(array.out(), context_.get(), &loop, 8, 1), kPbcomErrBadArgument);

  // Element types the VM cannot hold give no array; those it holds without an
  // element conversion give an array with no element set.
  ASSERT_EQ(conv_.SafeArrayToVMArray(array.out(), context_.get(), psa, 25, 1), 0);
  EXPECT_FALSE(array);
  ASSERT_EQ(conv_.SafeArrayToVMArray(array.out(), context_.get(), psa, vm::kTypeObject, 1), 0);
  ASSERT_TRUE(array);
  EXPECT_FALSE(isSet(array.get(), {1}));
}

// ---- VM array -> SAFEARRAY ---------------------------------------------------------

class VMToSafeArray : public ArrayFixture {
 protected:
  Ref<vm::IVMArray> oneTwoThree(int32_t lower = 1) {
    auto array = makeVMArray(vm::kTypeLong, {{lower, lower + 2}});
    for (int32_t i = 0; i < 3; ++i) storeLong(array.get(), {lower + i}, i + 1);
    return array;
  }
};

TEST_F(VMToSafeArray, NewSafeArrayKeepsTheVMBounds) {
  auto array = oneTwoThree();
  SAFEARRAY* psa = nullptr;
  ASSERT_EQ(conv_.VMArrayToSafeArray(&psa, nullptr, array.get(), vm::kTypeLong), 0);
  ASSERT_NE(psa, nullptr);
  VARTYPE vt = 0;
  SafeArrayGetVartype(psa, &vt);
  EXPECT_EQ(vt, VT_I4);
  LONG lower = 0, upper = 0;
  SafeArrayGetLBound(psa, 1, &lower);
  SafeArrayGetUBound(psa, 1, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 3);
  EXPECT_EQ(longIn(psa, {1}), 1);
  EXPECT_EQ(longIn(psa, {3}), 3);
  SafeArrayDestroy(psa);
  psa = nullptr;

  auto empty = makeVMArray(vm::kTypeLong, {{1, 0}});
  ASSERT_EQ(conv_.VMArrayToSafeArray(&psa, nullptr, empty.get(), vm::kTypeLong), 0);
  ASSERT_NE(psa, nullptr);
  SafeArrayGetLBound(psa, 1, &lower);
  SafeArrayGetUBound(psa, 1, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 0);
  SafeArrayDestroy(psa);
}

TEST_F(VMToSafeArray, DimensionOfTwoToTheThirtyTwoElementsGivesNoWrappedBound) {
  // Empty beside a dimension of 2^32 elements: a bound count that would wrap
  // to 0 must not become a descriptor that says something else.
  auto huge = makeVMArray(vm::kTypeLong, {{1, 0}, {INT32_MIN, INT32_MAX}});
  ASSERT_TRUE(huge);
  SAFEARRAY* psa = nullptr;
  const int32_t status = conv_.VMArrayToSafeArray(&psa, nullptr, huge.get(), vm::kTypeLong);
  SCOPED_TRACE(status);
  // A descriptor would hold the bound as 0 elements from INT32_MIN, which
  // reads back as the right upper bound yet counts nothing: no descriptor.
  EXPECT_EQ(psa, nullptr);
  if (psa != nullptr) SafeArrayDestroy(psa);
}

TEST_F(VMToSafeArray, ExistingSafeArrayKeepsItsBounds) {
  struct {
    int32_t vmLower;
    Dim existing;
    std::vector<LONG> expected;  // the existing array's elements afterwards, 0: not stored
  } const kCases[] = {
      {1, {0, 2}, {1, 2, 3}},  // recorded lower bound 0: one less
      {1, {0, 1}, {1, 2}},     // VM element 3 has no place
      {1, {1, 3}, {1, 2, 3}},  // equal
      {1, {5, 7}, {0, 0, 0}},  // indices 1 to 3 lie outside
      {0, {0, 2}, {0, 0, 0}},  // the walk would start at -1: ends at once
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.existing.lower) + ".." + std::to_string(c.existing.upper));
    auto array = oneTwoThree(c.vmLower);
    SAFEARRAY* psa = makeSafeArray(VT_I4, {c.existing});
    SAFEARRAY* kept = psa;
    ASSERT_EQ(conv_.VMArrayToSafeArray(&psa, nullptr, array.get(), vm::kTypeLong), 0);
    EXPECT_EQ(psa, kept);
    std::vector<LONG> got;
    for (int32_t i = c.existing.lower; i <= c.existing.upper; ++i) got.push_back(longIn(psa, {i}));
    EXPECT_EQ(got, c.expected);
    SafeArrayDestroy(psa);
  }
}

TEST_F(VMToSafeArray, IntoVariants) {
  auto array = oneTwoThree();
  Var v;
  v.vt = VT_ARRAY | VT_I4;
  ASSERT_EQ(conv_.VMArrayToVariant(&v, nullptr, array.get(), vm::kTypeLong), 0);
  ASSERT_NE(v.parray, nullptr);  // stored where the null was
  EXPECT_EQ(longIn(v.parray, {2}), 2);

  SAFEARRAY* held = nullptr;
  VARIANT byRef{};
  byRef.vt = VT_BYREF | VT_ARRAY | VT_VARIANT;
  byRef.pparray = &held;
  ASSERT_EQ(conv_.VMArrayToVariant(&byRef, nullptr, array.get(), vm::kTypeLong), 0);
  ASSERT_NE(held, nullptr);
  SafeArrayDestroy(held);

  VARIANT outer{};
  outer.vt = VT_BYREF | VT_VARIANT;
  outer.pvarVal = &v;
  EXPECT_EQ(conv_.VMArrayToVariant(&outer, nullptr, array.get(), vm::kTypeLong), E_FAIL);
  EXPECT_EQ(outer.vt, VT_BYREF | VT_VARIANT);
  Var number;
  number.vt = VT_I4;
  EXPECT_EQ(conv_.VMArrayToVariant(&number, nullptr, array.get(), vm::kTypeLong),
            kPbcomErrBadArgument);
  EXPECT_EQ(conv_.VMArrayToVariant(&v, nullptr, nullptr, vm::kTypeLong), kPbcomErrBadArgument);
  EXPECT_EQ(conv_.VMArrayToSafeArray(nullptr, nullptr, array.get(), vm::kTypeLong),
            kPbcomErrBadArgument);
}

TEST_F(VMToSafeArray, MultiDimensionalRoundTripIntoAShiftedExistingArray) {
  // Recorded lower bound 0 (the last dimension's, as the descriptor keeps
  // them reversed): every index one less.
  auto array = makeVMArray(vm::kTypeLong, {{1, 2}, {1, 3}, {1, 2}});
  int32_t next = 1;
  for (const auto& index : indicesOf({{1, 2}, {1, 3}, {1, 2}})) storeLong(array.get(), index, next++);
  SAFEARRAY* psa = makeSafeArray(VT_I4, {{0, 1}, {0, 2}, {0, 1}});
  ASSERT_EQ(conv_.VMArrayToSafeArray(&psa, nullptr, array.get(), vm::kTypeLong), 0);
  for (const auto& index : indicesOf({{0, 1}, {0, 2}, {0, 1}})) {
    std::vector<int32_t> vmIndex = index;
    for (auto& i : vmIndex) ++i;
    EXPECT_EQ(longIn(psa, index), longAt(array.get(), vmIndex));
  }
  SafeArrayDestroy(psa);
}

}  // namespace
}  // namespace mvcomm::arrays::test
