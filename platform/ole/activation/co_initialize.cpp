// File: platform/ole/activation/co_initialize.cpp
//
// CoInitialize(Ex) / CoUninitialize. There are no apartments to set up, but
// clients written for the usual platform call these in pairs and test for
// S_OK or S_FALSE, so each thread keeps the count the pairing expects.
#include "platform/ole/activation/objbase.h"

namespace {
thread_local int initializeCount = 0;
}  // namespace

STDAPI CoInitializeEx(LPVOID /*pvReserved*/, DWORD /*dwCoInit*/) {
  return initializeCount++ == 0 ? S_OK : S_FALSE;
}

STDAPI CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

STDAPI_(void) CoUninitialize(void) {
  if (initializeCount > 0) --initializeCount;
}
