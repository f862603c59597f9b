#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal_progress.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  // Progress only where a person watches: on a terminal, and not when asked to be quiet.
  std::unique_ptr<CTerminalProgress> progress;
  if (::isatty(STDERR_FILENO) &&
      std::find(arguments.begin(), arguments.end(), "--quiet") == arguments.end())
    progress = std::make_unique<CTerminalProgress>(stderr);
  return RunCommandLine(arguments, std::cout, std::cerr);
}
