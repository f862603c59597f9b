// The commands of tessaline-cli. Each takes its arguments (after the command name) and writes
// to the given streams, so that tests can run them without a process.
#pragma once

#include <iosfwd>
#include <span>
#include <string>

enum CExitStatus : int { kExitSuccess = 0, kExitFailure = 1, kExitUsage = 2 };

// The whole command line without the program name: a command and its arguments, or --help
// or --version.
int RunCommandLine(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);

int RunAsfCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);
int RunPreferencesCommand(std::span<const std::string> arguments, std::ostream& out,
                          std::ostream& err);
int RunInfoCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);
int RunConvertCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);
int RunReflexionsCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);
int RunStructureFactorsCommand(std::span<const std::string> arguments, std::ostream& out,
                               std::ostream& err);
int RunPlotCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);
int RunSimulateCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);
int RunBatchCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);
int RunSpacegroupCommand(std::span<const std::string> arguments, std::ostream& out,
                         std::ostream& err);
