// File: tools/mvcomm-dispatch/script_runner.h
//
// Runs dispatch-script lines against one object: results to `out`, one line
// per failure to `err` ("line 3: readdata: 0x80020009 DISP_E_EXCEPTION, ...").
#pragma once

#include <istream>
#include <ostream>

#include "tools/mvcomm-dispatch/late_bound.h"

namespace mvcomm::dispatch {

// Returns the number of lines that failed (syntax errors included); every
// line runs, a failure does not stop the script.
int runScript(LateBound& object, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace mvcomm::dispatch
