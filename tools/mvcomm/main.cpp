// File: tools/mvcomm/main.cpp
#include <unistd.h>

#include <iostream>

#include "tools/mvcomm/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  mvcomm::cli::Terminals terminals{::isatty(1) == 1, ::isatty(2) == 1};
  return mvcomm::cli::runMvcomm(args, std::cout, std::cerr, terminals);
}
