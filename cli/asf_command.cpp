#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/input_file.h"
#include "diffraction/scattering_table.h"
#include "files/asf_file.h"

int RunAsfCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream&) {
  const CArguments args(arguments, {{"--export", true}, {"--check", true}});
  if (!args.Positionals().empty() || args.Has("--export") == args.Has("--check"))
    throw CUsageError("expected --export FILE or --check FILE");
  const std::string path = *args.Value(args.Has("--export") ? "--export" : "--check");
  const bool done = WithInputFile(path, [&] {
    if (args.Has("--export")) {
      WriteScatteringFactorFile(path, BuiltInScatteringFactors());
      out << "Wrote " << BuiltInScatteringFactors().size() << " scattering-factor records to " << path << "\n";
    } else {
      out << path << ": " << ReadScatteringFactorFile(path).size() << " scattering-factor records\n";
    }
  });
  return done ? kExitSuccess : kExitFailure;
}
