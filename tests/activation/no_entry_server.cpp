// File: tests/activation/no_entry_server.cpp
//
// A loadable module that exports no DllGetClassObject.
extern "C" int NotAServerEntry() { return 1; }
