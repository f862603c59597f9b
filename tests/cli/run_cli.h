// Runs tessaline-cli in-process and captures what it prints.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"

struct CCliResult {
  int status;
  std::string out;
  std::string err;
};

inline CCliResult RunCli(const std::vector<std::string>& arguments) {
  std::ostringstream out, err;
  const int status = RunCommandLine(arguments, out, err);
  return {status, out.str(), err.str()};
}
