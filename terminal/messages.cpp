// File: terminal/messages.cpp
//
// The outcome texts, kept exactly as clients have always seen them
// (spelling included: callers compare them).
#include "terminal/messages.h"

#include <array>
#include <cstring>

namespace mvcomm::terminal {

namespace {

constexpr std::array<std::string_view, 25> kMessages = {
    "",                                                      // 0 error_success
    "Invalid Settings!",                                     // 1
    "Invalid COM port, COM port must more than 0 !",         // 2
    "Invalid Baut Rate, Baut Rate must more than 0 !",       // 3
    "Failed open COM port!",                                 // 4
    "",                                                      // 5 has no text
    "Failed set in or out memory buffer's size!",            // 6
    "No record!",                                            // 7
    "Failed build CRC!",                                     // 8
    "Failed connect the specifical machine!",                // 9
    "Failed alter the specifical machine's BautRate!",       // 10
    "Failed send read command to the specifical machine!",   // 11
    "Failed parse data from memory buffer!",                 // 12
    "Haven't read any data from the specifical machine!",    // 13
    "Failed set clock to the specifical machine!",           // 14
    "Failed clear data from the specifical machine!",        // 15
    "Invalid method arguments!",                             // 16
    "Invalid machine number!",                               // 17
    "Invalid date or time!",                                 // 18
    "Invalid recordset flag, the flag is only 1 or 2!",      // 19
    "No record in the Refer Table!",                         // 20
    "Invalid record number!",                                // 21
    "Refer table's buffer is not init! Please call 'RtBeginWrite' method to initialize buffer!",  // 22
    "Failed read refer table from the specifical machine!",  // 23
    "Failed write refer table to the specifical machine!",   // 24
};

constexpr std::string_view kUnknown = "Unknowned error!";

}  // namespace

std::string_view messageForCode(std::int32_t code) {
  if (code < 0 || code >= static_cast<std::int32_t>(kMessages.size()) || code == 5) return kUnknown;
  return kMessages[static_cast<std::size_t>(code)];
}

std::string apiErrorMessage(int error) {
  char text[256];
  // GNU strerror_r: returns the text, in `text` or a static string.
  const char* msg = strerror_r(error, text, sizeof text);
  if (msg == nullptr || *msg == '\0') return "Cannot Dispaly Error Message!";
  return std::string("API Error:") + msg;
}

}  // namespace mvcomm::terminal
