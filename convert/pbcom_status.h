// File: convert/pbcom_status.h
//
// The status codes the value converters and the array marshaller produce.
// Negative is failure. Coercion (VariantChangeType), QueryInterface and VM
// statuses that are not listed here pass through unchanged.
#pragma once

#include <cstdint>

#include "platform/ole/winerror.h"

namespace mvcomm::convert {

inline constexpr int32_t kPbcomOk = 0;
inline constexpr int32_t kPbcomErrNoWideBuffer = -8301;       // wide buffer or BSTR not allocated
inline constexpr int32_t kPbcomErrBadArgument = -8303;        // missing pointer, wrong VARIANT/SAFEARRAY shape
inline constexpr int32_t kPbcomErrNoElementConversion = -8326;  // element type code outside 3..17
inline constexpr int32_t kPbcomErrElementRead = -8327;        // an array element could not be read or does not fit
inline constexpr int32_t kPbcomErrNoDate = -8406;             // no VM date for a day number
inline constexpr int32_t kPbcomErrNoDayNumber = -8407;        // no day number, seconds or datetime part
inline constexpr int32_t kPbcomErrNoTime = -8408;             // the VM made no time
inline constexpr int32_t kPbcomErrNoDateTime = -8410;         // the VM did not join date and time
inline constexpr int32_t kPbcomErrNoDateHelper = static_cast<int32_t>(0x80043C00u);

}  // namespace mvcomm::convert
