// File: tests/txn/dw_engine_stub.cpp
//
// A stand-in data-window engine, built under the engine's file name, that
// records the transaction-server hooks it receives. Tests load it before
// the call (or not at all) and read what it heard.

#include <cstdint>

namespace {
int gLoading = 0;             // dwTxnServerLoading calls
int gUnLoading = 0;           // dwTxnServerUnLoading calls
uint32_t gLastContext = 0;    // context of the last call of either
uint32_t gLastValue = 0;      // transaction-server value of the last loading call
}  // namespace

extern "C" void dwTxnServerLoading(uint32_t context, uint32_t value) {
  ++gLoading;
  gLastContext = context;
  gLastValue = value;
}
extern "C" void dwTxnServerUnLoading(uint32_t context) {
  ++gUnLoading;
  gLastContext = context;
}
extern "C" int stubLoadingCalls() { return gLoading; }
extern "C" int stubUnLoadingCalls() { return gUnLoading; }
extern "C" uint32_t stubLastContext() { return gLastContext; }
extern "C" uint32_t stubLastValue() { return gLastValue; }
