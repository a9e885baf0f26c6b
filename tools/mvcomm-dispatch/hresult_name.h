// File: tools/mvcomm-dispatch/hresult_name.h
//
// Names of the HRESULTs an automation client meets, for messages.
#pragma once

#include <string>

#include "platform/ole/winerror.h"

namespace mvcomm::dispatch {

// "DISP_E_MEMBERNOTFOUND" and the like; empty for a value without a name.
const char* hresultName(HRESULT hr);

// "0x80020003 DISP_E_MEMBERNOTFOUND", or just the hex for an unnamed value.
std::string describeHresult(HRESULT hr);

}  // namespace mvcomm::dispatch
