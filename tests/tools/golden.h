// File: tests/tools/golden.h
//
// Golden files for tool output: tests/tools/golden/<name>.txt holds the
// command line, the exit status, stdout and stderr of one run. Set
// MVCOMM_UPDATE_GOLDEN=1 to rewrite them from the current output (then
// review the diff). Output is made reproducible, not edited: the simulated
// terminals' "today" is pinned (MVCOMM_SIMULATE_TODAY).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mvcomm::testing {

inline constexpr const char* kPinnedToday = "2026-03-15";

inline void pinSimulatedToday() { ::setenv("MVCOMM_SIMULATE_TODAY", kPinnedToday, 1); }

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string goldenText(const std::vector<std::string>& args, const ToolRun& run) {
  std::string text = "$ mvcomm";
  for (const auto& a : args) text += (a.find(' ') == std::string::npos ? " " + a : " \"" + a + "\"");
  text += "\nexit " + std::to_string(run.status) + "\n--- stdout\n" + run.out + "--- stderr\n" +
          run.err;
  return text;
}

inline std::string goldenPath(const std::string& name) {
  return std::string(MVCOMM_GOLDEN_DIR) + "/" + name + ".txt";
}

inline std::string readGolden(const std::string& name) {
  std::ifstream in(goldenPath(name), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The stdout section of a golden file.
inline std::string goldenStdout(const std::string& name) {
  std::string text = readGolden(name);
  auto begin = text.find("--- stdout\n");
  auto end = text.find("--- stderr\n");
  if (begin == std::string::npos || end == std::string::npos) return "";
  begin += 11;
  return text.substr(begin, end - begin);
}

inline void expectGolden(const std::string& name, const std::string& actual) {
  if (std::getenv("MVCOMM_UPDATE_GOLDEN")) {
    std::ofstream(goldenPath(name), std::ios::binary) << actual;
    return;
  }
  EXPECT_EQ(readGolden(name), actual) << "golden " << goldenPath(name)
                                      << " differs (MVCOMM_UPDATE_GOLDEN=1 rewrites it)";
}

}  // namespace mvcomm::testing
