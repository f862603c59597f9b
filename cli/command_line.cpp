#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "errors/exceptions.h"

namespace {

struct CCommand {
  const char* name;
  const char* summary;
  int (*run)(std::span<const std::string>, std::ostream&, std::ostream&);
};

constexpr CCommand kCommands[] = {
    {"spacegroup", "SYMBOL [--origin 1|2] [--cell a,b,c,alpha,beta,gamma] | --list\n"
                   "      show a space group of the built-in table, or list the table",
     RunSpacegroupCommand},
};

void PrintHelp(std::ostream& out) {
  out << "Usage: tessaline-cli COMMAND [ARGUMENTS]\n"
         "       tessaline-cli --help | --version\n\n"
         "Powder-diffraction simulation from the command line.\n\nCommands:\n";
  for (const CCommand& command : kCommands)
    out << "  " << command.name << " " << command.summary << "\n";
  out << "\nExit status: 0 success, 1 a command failed, 2 bad usage.\n";
}

}  // namespace

int RunCommandLine(std::span<const std::string> arguments, std::ostream& out, std::ostream& err) {
  if (arguments.empty()) {
    PrintHelp(err);
    return kExitUsage;
  }
  const std::string& first = arguments.front();
  if (first == "--help" || first == "-h" || first == "help") {
    PrintHelp(out);
    return kExitSuccess;
  }
  if (first == "--version") {
    out << "Tessaline " << TESSALINE_VERSION << "\n";
    return kExitSuccess;
  }
  for (const CCommand& command : kCommands) {
    if (first != command.name) continue;
    try {
      return command.run(arguments.subspan(1), out, err);
    } catch (const CUsageError& error) {
      err << "tessaline-cli " << command.name << ": " << error.what() << "\n";
      return kExitUsage;
    } catch (...) {
      // Every failure reaches the user as its alert; headless, that is one line on stderr.
      ConvertException(std::current_exception(), kSeverityMessage)->Report();
      return kExitFailure;
    }
  }
  err << "tessaline-cli: unknown command '" << first << "' (try --help)\n";
  return kExitUsage;
}
