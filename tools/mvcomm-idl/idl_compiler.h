// File: tools/mvcomm-idl/idl_compiler.h
//
// The interface definition language subset our component needs, to and from
// the type library model: library blocks with importlib, interface and coclass
// blocks with their attributes, propget / propput / propputref / id / in / out
// / retval / optional / lcid, and the automation types.
#pragma once

#include <string>
#include <string_view>

#include "platform/ole/typelib/tlb_model.h"

namespace mvcomm::idl {

// Compiles IDL text into `*lib`. Returns an empty string on success, else one
// message "<name>:<line>: <what>" for the first error (and `*lib` is empty).
// `name` only labels messages.
std::string Compile(std::string_view text, std::string_view name, typelib::Library* lib);

// Prints `lib` as IDL that Compile turns back into the same library.
std::string Print(const typelib::Library& lib);

}  // namespace mvcomm::idl
