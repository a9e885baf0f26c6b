// File: platform/ole/internal/bstr_util.h
//
// BSTR helpers shared by the conversion and copy code.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/ole/wtypes.h"

namespace mvcomm::ole::internal {

// A new BSTR of `chars` UTF-16 units copied from text (uninitialised when
// text is null); null when the allocation fails.
BSTR bstrFromUtf16(const OLECHAR* text, std::size_t chars);

// A new BSTR widened from ASCII text; null when the allocation fails.
BSTR bstrFromAscii(std::string_view text);

// A copy with the same byte length; null for null or a failed allocation
// (tell them apart by the source).
BSTR bstrCopy(BSTR src);

}  // namespace mvcomm::ole::internal
