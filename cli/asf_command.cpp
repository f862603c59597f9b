#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "diffraction/asf_file.h"
#include "diffraction/scattering_table.h"

int RunAsfCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream&) {
  const CArguments args(arguments, {{"--export", true}, {"--check", true}});
  if (!args.Positionals().empty() || args.Has("--export") == args.Has("--check"))
    throw CUsageError("expected --export FILE or --check FILE");
  if (const auto path = args.Value("--export")) {
    WriteScatteringFactorFile(*path, BuiltInScatteringFactors());
    out << "Wrote " << BuiltInScatteringFactors().size() << " scattering-factor records to " << *path << "\n";
  } else {
    const std::string checked = *args.Value("--check");
    const size_t records = ReadScatteringFactorFile(checked).size();
    out << checked << ": " << records << " scattering-factor records\n";
  }
  return kExitSuccess;
}
