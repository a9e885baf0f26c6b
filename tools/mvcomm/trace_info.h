// File: tools/mvcomm/trace_info.h
//
// `mvcomm trace-info FILE`: what a trace captured with --trace on a real
// line shows about the terminal, where the protocol leaves terminals free:
// the check at the end of its frames (and their start and third bytes), the
// shape of each kind of reply, how long it takes to answer, the rates on the
// line and what the driver read back; ending with the mvcomm-sim --profile
// that plays such a terminal. A user with hardware can send us the report.
#pragma once

#include <ostream>
#include <string>

namespace mvcomm::cli {

// Writes the report on `text`, a trace file's contents, to `out`. Returns
// false with `error` ("line N: what") when the trace cannot be read.
bool traceInfo(const std::string& text, std::ostream& out, std::string& error);

}  // namespace mvcomm::cli
