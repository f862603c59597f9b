#include <ostream>

#include "cli/arguments.h"
#include "cli/calculation_options.h"
#include "cli/commands.h"
#include "cli/input_file.h"
#include "cli/listing_output.h"
#include "cli/run_outputs.h"
#include "cli/session_inputs.h"
#include "diffraction/calculate.h"
#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "files/listing_files.h"
#include "resources/strings.h"

namespace {

constexpr unsigned kNoReflexionsText = 22930;

// Reads and calculates every crystal file in order, and the crystal patterns of sessions. A
// file that fails is reported and left out; a crystal without reflexions is reported and keeps
// its (empty) block.
int CalculateCrystals(const std::vector<std::string>& paths, const CSessionInputs& sessions,
                      const CCalculationSettings& settings, std::vector<CCrystalFile>& crystals,
                      std::ostream& err) {
  int status = kExitSuccess;
  for (const std::string& path : paths) {
    const bool read = WithInputFile(path, [&] {
      const bool session = sessions.Holds(path);
      std::vector<CCrystalFile> files =
          session ? SessionCrystals(sessions.Session(path)) : ReadCrystalFiles(path);
      for (CCrystalFile& file : files) {
        // A session's crystals keep the sample settings they were saved with.
        if (!session) settings.sample.ApplyTo(file.crystal);
        if (!CalculateReflexions(file.crystal, settings.plotSpec)) {
          err << path << ": " << (files.size() > 1 ? file.title + ": " : "")
              << NoReflexionsMessage() << "\n";
          status = kExitFailure;
        }
        crystals.push_back(std::move(file));
      }
    });
    if (!read) status = kExitFailure;
  }
  return status;
}

int RunListingCommand(CListingKind kind, std::span<const std::string> arguments, std::ostream& out,
                      std::ostream& err) {
  std::vector<COptionSpec> options = CalculationOptionSpecs();
  options.emplace_back("--output", true, "-o");
  const CArguments args(arguments, options);
  if (args.Positionals().empty())
    throw CUsageError("expected one or more crystal or session files");
  const CSessionInputs sessions(args.Positionals());
  const CCalculationSettings settings =
      sessions.StartingFromFirst([&] { return CalculationSettingsFrom(args); });

  const std::string output = args.Value("--output").value_or("-");
  CRunOutputs(args.Positionals(), err).RefuseInput(output, "-o");
  std::vector<CCrystalFile> crystals;
  int status = CalculateCrystals(args.Positionals(), sessions, settings, crystals, err);
  // Nothing read, nothing to list: a listing of headers alone would hide the failure.
  if (crystals.empty()) return status;
  std::vector<CListingBlock> blocks;
  for (const CCrystalFile& file : crystals) blocks.push_back({file.title, file.crystal});
  if (!WithInputFile(output,
                     [&] { WriteListingOutput(output, kind, blocks, settings.plotSpec, out); }))
    status = kExitFailure;
  return status;
}

}  // namespace

std::string_view NoReflexionsMessage() {
  std::string_view text = ResourceString(kNoReflexionsText);
  text.remove_prefix(text.find('|') + 1);
  return text.substr(0, text.find('|'));
}

void WriteListingOutput(const std::string& output, CListingKind kind, const std::vector<CListingBlock>& blocks,
                        const CPlotSpec& plotSpec, std::ostream& out) {
  if (output == "-") {
    out << ListingText(kind, blocks, plotSpec);
  } else {
    WriteListingFile(output, kind, blocks, plotSpec);
  }
}

int RunReflexionsCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err) {
  return RunListingCommand(CListingKind::kReflexions, arguments, out, err);
}

int RunStructureFactorsCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err) {
  return RunListingCommand(CListingKind::kStructureFactors, arguments, out, err);
}
