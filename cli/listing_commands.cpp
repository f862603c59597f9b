#include <algorithm>
#include <filesystem>
#include <ostream>

#include "cli/arguments.h"
#include "cli/calculation_options.h"
#include "cli/cli_document.h"
#include "cli/commands.h"
#include "cli/input_file.h"
#include "cli/listing_output.h"
#include "cli/run_outputs.h"
#include "cli/session_inputs.h"
#include "diffraction/reflexion_generator.h"
#include "errors/exceptions.h"
#include "files/listing_files.h"
#include "patterns/pattern.h"
#include "resources/strings.h"

namespace {

constexpr unsigned kNoReflexionsText = 22930;

// A listing is of crystals: a data file is refused as the crystal readers refuse it.
void TakeCrystal(CTSPattern& pattern, const CSampleSettings& sample) {
  CTSCrystal* crystal = pattern.Crystal();
  if (!crystal)
    throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0,
                                  std::filesystem::path(pattern.Path()).filename().string());
  sample.ApplyTo(*crystal);
}

// The list with the components of its mixtures that the list does not hold, each after its
// mixture.
CPatternList WithUnlistedComponents(const CPatternList& list) {
  CPatternList patterns;
  for (const auto& pattern : list) {
    patterns.push_back(pattern);
    if (const CPatternList* components = pattern->Components())
      for (const auto& component : *components)
        if (std::ranges::find(list, component) == list.end()) patterns.push_back(component);
  }
  return patterns;
}

bool IsComponentOf(const CTSPattern& mixture, const std::shared_ptr<CTSPattern>& pattern) {
  const CPatternList* components = mixture.Components();
  return components && std::ranges::find(*components, pattern) != components->end();
}

// Adds every crystal file in order to a document, which calculates the crystals, and the
// sessions' crystal patterns. A file that fails is reported and left out; a crystal without
// reflexions is reported and keeps its (empty) block.
int CalculateCrystals(const std::vector<std::string>& paths, const CSessionInputs& sessions,
                      const CCalculationSettings& settings, CPatternList& crystals,
                      std::ostream& err) {
  CCliDocument document(
      settings.plotSpec, [&](CTSPattern& pattern) { TakeCrystal(pattern, settings.sample); },
      false);
  int status = kExitSuccess;
  for (const std::string& path : paths) {
    const bool read = WithInputFile(path, [&] {
      CPatternList added = document.Add(path);
      if (sessions.Holds(path)) {
        // A session's crystals, shown or not, keep the sample settings they were saved with;
        // its data are not listed, and not calculated. Sessions written before the inputs of a
        // mixture were kept as patterns too hold some crystals only inside their mixture.
        added = WithUnlistedComponents(document.Patterns());
        for (const auto& pattern : document.Patterns())
          pattern->SetPlotted(std::ranges::any_of(added, [&](const auto& crystal) {
            return crystal->Crystal() && (crystal == pattern || IsComponentOf(*pattern, crystal));
          }));
        document.RecalculatePlotted();
      }
      std::erase_if(added, [](const auto& pattern) { return !pattern->Crystal(); });
      // A listing that silently leaves a file out reads as a complete one.
      if (added.empty() && sessions.Holds(path)) {
        err << path << ": the session holds no crystal to list\n";
        status = kExitFailure;
      }
      for (const auto& pattern : added) {
        if (pattern->Crystal()->reflexions.empty()) {
          // A list refused for its memory has been reported as that already.
          if (!ExceedsReflexionMemoryBudget(*pattern->Crystal(),
                                            ReflexionLimits(settings.plotSpec)))
            err << path << ": " << (added.size() > 1 ? pattern->Title() + ": " : "")
                << NoReflexionsMessage() << "\n";
          status = kExitFailure;
        }
        crystals.push_back(pattern);
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
  CPatternList crystals;
  int status = CalculateCrystals(args.Positionals(), sessions, settings, crystals, err);
  // Nothing read, nothing to list: a listing of headers alone would hide the failure.
  if (crystals.empty()) return status;
  std::vector<CListingBlock> blocks;
  for (const auto& pattern : crystals) blocks.push_back({pattern->Title(), *pattern->Crystal()});
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
