// File: tools/mvcomm-dispatch/script_line.h
//
// One line of a dispatch script, parsed:
//   commport = 1                              property put
//   readdata "5", #2002-10-27#, #2002-10-28#  method call (parentheses optional)
//   ? errorcode                               print a property (or a literal)
//   ' comment, rem comment, blank line        nothing
// Literals: "text" ("" inside for a quote), integers, reals, True, False,
// and dates #yyyy-mm-dd# or #yyyy-mm-dd hh:mm[:ss]#.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ole/wtypes.h"

namespace mvcomm::dispatch {

struct Literal {
  enum class Kind { kText, kInteger, kReal, kBool, kDate };
  Kind kind = Kind::kInteger;
  std::string text;     // kText, UTF-8
  std::int64_t integer = 0;
  double real = 0;      // kReal; kDate holds the DATE here
  bool flag = false;    // kBool
};

struct Statement {
  enum class Kind { kNothing, kPut, kCall, kPrintName, kPrintLiteral };
  Kind kind = Kind::kNothing;
  std::string name;              // member name as written
  std::vector<Literal> args;     // kPut: one value; kCall: the arguments; kPrintLiteral: one
};

// Empty on success, else what is wrong with the line ("expected ',' after
// argument 1", "bad date #2002-02-30#", ...). *out is untouched on error.
std::string parseLine(std::string_view line, Statement* out);

// The literal as a VARIANT the caller clears; E_OUTOFMEMORY for text.
HRESULT toVariant(const Literal& literal, VARIANT* out);

// How the script client prints a value: text as is, numbers in decimal,
// booleans True / False, dates yyyy-mm-dd hh:mm:ss, empty as nothing.
std::string formatVariant(const VARIANT& value);

}  // namespace mvcomm::dispatch
