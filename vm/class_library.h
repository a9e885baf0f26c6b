// File: vm/class_library.h
//
// The table a module exports so that VM sessions started on its path can
// create objects of its native classes: per class its instance variables,
// functions and events, each reached through a plain function. The VM
// checks names, types and argument counts before it calls any of them, so a
// class only does its own work.
//
// A module exports it as
//   extern "C" const mvcomm::vm::ClassLibrary* mvcomm_vm_class_library();
#pragma once

#include <cstdint>

#include "vm/vm_interfaces.h"
#include "vm/vm_types.h"

namespace mvcomm::vm {

inline constexpr char kClassLibrarySymbol[] = "mvcomm_vm_class_library";
inline constexpr uint32_t kClassLibraryVersion = 1;

// Returns a new instance, or null when it cannot be allocated.
using NativeCreate = void* (*)();
using NativeDestroy = void (*)(void* self);
// Writes the variable into `out`, a fresh value of the variable's type code,
// with the value's typed set. Returns a status.
using NativeGetter = int32_t (*)(void* self, IVMValue* out);
// Reads the new content from `in`, a value of the variable's type code.
using NativeSetter = int32_t (*)(void* self, IVMValue* in);
// `args` holds `paramCount` values of the declared types (by-reference
// arguments may be written); `result` is a fresh value of the result type,
// or null for a function without result.
using NativeFunction = int32_t (*)(void* self, IVMValue* const* args, IVMValue* result);
// Runs an event; `returnValue` starts at 0.
using NativeEvent = int32_t (*)(void* self, int32_t* returnValue);

struct VariableDef {
  const char* name;      // instance variable name, compared case-insensitively
  int32_t typeCode;      // 3..20
  NativeGetter get;      // never null
  NativeSetter set;      // null: read-only, assignment is refused
};

struct FunctionDef {
  const char* name;            // function name, compared case-insensitively
  int32_t resultType;          // 3..20, or kNoResult
  int32_t paramCount;          // number of parameters
  const int32_t* paramTypes;   // paramCount type codes
  NativeFunction call;         // never null
};

struct EventDef {
  const char* name;       // "constructor" and "destructor" run at creation and destruction
  NativeEvent handler;    // never null
};

struct ClassDef {
  const char* name;
  NativeCreate create;
  NativeDestroy destroy;
  const VariableDef* variables;
  int32_t variableCount;
  const FunctionDef* functions;
  int32_t functionCount;
  const EventDef* events;
  int32_t eventCount;
};

struct ClassLibrary {
  uint32_t version;          // kClassLibraryVersion
  const ClassDef* classes;
  int32_t classCount;
};

using ClassLibraryEntry = const ClassLibrary* (*)();

}  // namespace mvcomm::vm
