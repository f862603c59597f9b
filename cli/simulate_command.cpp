// tessaline-cli simulate: crystal files to simulated powder patterns, and observed-data files to
// their points on the same calculation grid, written as profile files.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>

#include "cli/arguments.h"
#include "cli/calculation_options.h"
#include "cli/commands.h"
#include "cli/input_file.h"
#include "cli/listing_output.h"
#include "cli/observed_options.h"
#include "diffraction/reflexion.h"
#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "files/observed_files.h"
#include "files/profile_file.h"
#include "files/tess_file.h"
#include "patterns/crystal_pattern.h"
#include "patterns/observed_pattern.h"
#include "patterns/peaks.h"

namespace {

using namespace VHTypes;

constexpr uint64_t kFewestPoints = 5;  // a profile file needs more than 4
constexpr uint64_t kMostPoints = 10'000'000;
constexpr size_t kSummaryPeaks = 10;
constexpr double kLargestSize = 10000.0;

struct CNamedProfile {
  const char* name;
  TSProfileType type;
};
constexpr CNamedProfile kProfiles[] = {{"delta", kProfileDelta},
                                       {"gaussian", kProfileGaussian},
                                       {"lorentzian", kProfileLorentzian},
                                       {"pseudo-voigt", kProfilePseudoVoigt}};

// What simulate adds to the calculation options.
struct CSimulation {
  CCalculationSettings settings;
  CObservedSettings observed;
  std::optional<double> size;
  std::optional<double> strain;
  std::optional<std::string> output;  // "-" for the standard output
  std::optional<std::filesystem::path> outDir;
  bool summary = false;
  std::optional<std::string> reflexions;        // where to write the reflexion listing
  std::optional<std::string> structureFactors;  // and the structure-factor listing
};

std::vector<COptionSpec> OptionSpecs() {
  std::vector<COptionSpec> options = CalculationOptionSpecs();
  for (COptionSpec& option : ObservedOptionSpecs()) options.push_back(std::move(option));
  for (const char* name : {"--range", "--points", "--profile", "--eta", "--width", "--wavelength2", "--ratio", "--size",
                           "--strain", "--out-dir", "--reflexions", "--structure-factors"})
    options.emplace_back(name, true);
  options.emplace_back("--output", true, "-o");
  options.emplace_back("--ka2");
  options.emplace_back("--summary");
  return options;
}

double Positive(const std::string& option, double value, double high = HUGE_VAL) {
  if (!(value > 0.0) || value > high || !std::isfinite(value))
    throw CUsageError(option + " must be positive" + (std::isfinite(high) ? " and at most " + std::to_string(high) : ""));
  return value;
}

void ApplyRange(const CArguments& args, CPlotSpec& plot) {
  const std::optional<std::string> range = args.Value("--range");
  if (!range) return;
  const size_t colon = range->find(':');
  const std::optional<double> low = colon == std::string::npos ? std::nullopt : ParseDouble(range->substr(0, colon));
  const std::optional<double> high = colon == std::string::npos ? std::nullopt : ParseDouble(range->substr(colon + 1));
  if (!low || !high || !std::isfinite(*low) || !std::isfinite(*high))
    throw CUsageError("--range needs MIN:MAX, not '" + *range + "'");
  if (*low >= *high) throw CUsageError("--range needs MIN below MAX, not '" + *range + "'");
  plot.SetXRange(*low, *high);
}

void ApplyProfileOptions(const CArguments& args, CPlotSpec& plot) {
  if (const auto points = args.Integer("--points")) {
    if (*points < static_cast<long long>(kFewestPoints) || *points > static_cast<long long>(kMostPoints))
      throw CUsageError("--points must lie between " + std::to_string(kFewestPoints) + " and " +
                        std::to_string(kMostPoints));
    plot.SetProfilePoints(static_cast<uint64_t>(*points));
  }
  std::vector<std::string> names;
  for (const CNamedProfile& profile : kProfiles) names.emplace_back(profile.name);
  if (const auto chosen = args.Choice("--profile", names))
    for (const CNamedProfile& profile : kProfiles)
      if (*chosen == profile.name) plot.SetProfileType(profile.type);
  if (const auto eta = args.Double("--eta")) {
    if (plot.ProfileType() != kProfilePseudoVoigt)
      throw CUsageError("--eta is the mixing of --profile pseudo-voigt");
    if (!(*eta >= 0.0 && *eta <= 1.0)) throw CUsageError("--eta must lie between 0 and 1");
    plot.SetEta(*eta);
  }
  // The instrument width in the radiation's own unit.
  if (const auto width = args.Double("--width")) {
    const double w = Positive("--width", *width);
    switch (plot.SimulationType()) {
      case kSimulationEnergyDispersive:
        plot.SetEDXPeakWidth(w);
        break;
      case kSimulationTimeOfFlight:
        plot.SetTOFResolution(w);
        break;
      case kSimulationElectrons:
        plot.SetPeakWidthTEM(w);
        break;
      default:
        plot.SetTTHPeakWidth(w);
    }
  }
}

void ApplyDoublet(const CArguments& args, CPlotSpec& plot) {
  const bool ka2 = args.Has("--ka2");
  if (!ka2 && (args.Has("--wavelength2") || args.Has("--ratio")))
    throw CUsageError("--wavelength2 and --ratio need --ka2");
  if (!ka2) return;
  if (plot.SimulationType() != kSimulationXrays) throw CUsageError("--ka2 is for X-rays (--radiation xray)");
  plot.SetMonochromatic(false);
  if (const auto lambda = args.Double("--wavelength2")) plot.SetLambda2(Positive("--wavelength2", *lambda));
  if (const auto ratio = args.Double("--ratio")) {
    if (!(*ratio >= 0.0) || !std::isfinite(*ratio)) throw CUsageError("--ratio must be 0 or more");
    plot.SetLambdaRatio(*ratio);
  }
}

CSimulation SimulationFrom(const CArguments& args) {
  CSimulation simulation;
  simulation.settings = CalculationSettingsFrom(args);
  simulation.observed = ObservedSettingsFrom(args);
  CPlotSpec& plot = simulation.settings.plotSpec;
  ApplyRange(args, plot);
  ApplyProfileOptions(args, plot);
  ApplyDoublet(args, plot);
  if (const auto size = args.Double("--size")) simulation.size = Positive("--size", *size, kLargestSize);
  if (const auto strain = args.Double("--strain")) {
    if (!(*strain >= 0.0 && *strain <= 1.0)) throw CUsageError("--strain must lie between 0 and 1");
    simulation.strain = *strain;
  }
  simulation.output = args.Value("--output");
  if (const auto dir = args.Value("--out-dir")) {
    if (simulation.output == "-") throw CUsageError("--out-dir cannot be used with -o -");
    simulation.outDir = *dir;
  }
  simulation.summary = args.Has("--summary");
  simulation.reflexions = args.Value("--reflexions");
  simulation.structureFactors = args.Value("--structure-factors");
  return simulation;
}

// Where the profile of one input goes: OUT itself for a single input, OUT's name with the title
// added for several, the title alone without OUT; in --out-dir when given.
std::string OutputPath(const CSimulation& simulation, const std::string& title, bool several) {
  if (simulation.output == "-") return "-";
  std::filesystem::path path;
  if (!simulation.output) {
    path = title + ".txt";
  } else {
    path = *simulation.output;
    if (several) path.replace_filename(path.stem().string() + "-" + title + path.extension().string());
  }
  if (simulation.outDir) path = *simulation.outDir / path.filename();
  return path.string();
}

void WriteProfileTo(const std::string& path, const CTSPattern& pattern, const CProfile& profile, const CPlotSpec& plot,
                    std::ostream& out) {
  if (path == "-") {
    out << CTSProfileFile::ProfileText(pattern, profile, plot);
    return;
  }
  CTSProfileFile file;
  CFileError error;
  if (!file.Open(path, CFile::kModeWrite | CFile::kModeCreate | CFile::kTypeText, &error))
    throw CVHXFileNotOpen(kSeverityMessage, error.code);
  file.WriteProfile(pattern, profile, plot);
  file.Close();
}

// Right-aligns text in a field of `width` characters, counting characters rather than bytes.
std::string PadLeft(const std::string& text, size_t width) {
  const size_t characters = static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
  return std::string(width > characters ? width - characters : 0, ' ') + text;
}

void PrintSummary(const CTSCrystalPattern& pattern, const CPlotSpec& plot, std::ostream& out) {
  const std::vector<CPeak> peaks = StrongestPeaks(pattern.Crystal()->reflexions, kSummaryPeaks);
  char line[160];
  std::snprintf(line, sizeof line, "%s: the %zu strongest peaks\n", pattern.Title().c_str(), peaks.size());
  out << line;
  const std::string position = std::string(plot.XAxisTitle()) + " (" + plot.XAxisUnit() + ")";
  out << "   h    k    l " << PadLeft("d (Å)", 9) << " " << PadLeft(position, 12) << "  I/Imax\n";
  for (const CPeak& peak : peaks) {
    const CTSReflexion& r = *peak.strongest;
    std::snprintf(line, sizeof line, "%4d %4d %4d %9.5f %12.4f %7.1f%%\n", r.h, r.k, r.l, peak.d, peak.position,
                  100.0 * peak.relativeIntensity);
    out << line;
  }
}

// Calculates one crystal file and writes its profile; the pattern is kept for the listings.
std::shared_ptr<CTSCrystalPattern> SimulateCrystal(const std::string& input, const CSimulation& simulation,
                                                   bool several, std::ostream& out, std::ostream& err) {
  const CPlotSpec& plot = simulation.settings.plotSpec;
  CCrystalFile file = ReadCrystalFile(input);
  const auto shared = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
  CTSCrystalPattern& pattern = *shared;
  CTSCrystal& crystal = *pattern.Crystal();
  crystal = std::move(file.crystal);
  simulation.settings.sample.ApplyTo(crystal);
  if (simulation.size) crystal.particleSize = *simulation.size;
  if (simulation.strain) crystal.isotropicStrain = *simulation.strain;
  pattern.SetPath(input);
  pattern.SetTitle(file.title);
  pattern.Recalculate(plot);
  WriteProfileTo(OutputPath(simulation, file.title, several), pattern, pattern.GetProfile(plot), plot, out);
  // With the profile on the standard output, the summary goes beside it rather than into it.
  if (simulation.summary) PrintSummary(pattern, plot, simulation.output == "-" ? err : out);
  return shared;
}

// Reads one observed-data file, processes it as the options ask and writes its points
// resampled onto the calculation grid.
void SimulateObserved(const std::string& input, const CSimulation& simulation, bool several, std::ostream& out,
                      std::ostream& err) {
  const CPlotSpec& plotSpec = simulation.settings.plotSpec;
  const std::shared_ptr<CTSObservedPattern> pattern = ReadObservedPattern(input);
  simulation.observed.ApplyTo(*pattern, err);
  WriteProfileTo(OutputPath(simulation, pattern->Title(), several), *pattern, pattern->GetProfile(plotSpec), plotSpec,
                 out);
}

// One input of either kind; its failures are reported by the caller. Returns the crystal
// pattern of a crystal file.
std::shared_ptr<CTSCrystalPattern> Simulate(const std::string& input, const CSimulation& simulation, bool several,
                                            std::ostream& out, std::ostream& err) {
  if (!IsObservedDataType(CTessFile::DetermineType(input))) return SimulateCrystal(input, simulation, several, out, err);
  SimulateObserved(input, simulation, several, out, err);
  return nullptr;
}

// The listings the options ask for, of every crystal pattern in input order.
void WriteListings(const CSimulation& simulation, const std::vector<std::shared_ptr<CTSCrystalPattern>>& crystals,
                   std::ostream& out) {
  std::vector<CListingBlock> blocks;
  for (const auto& pattern : crystals) blocks.push_back({pattern->Title(), *pattern->Crystal()});
  const CPlotSpec& plot = simulation.settings.plotSpec;
  if (simulation.reflexions) WriteListingOutput(*simulation.reflexions, CListingKind::kReflexions, blocks, plot, out);
  if (simulation.structureFactors)
    WriteListingOutput(*simulation.structureFactors, CListingKind::kStructureFactors, blocks, plot, out);
}

}  // namespace

int RunSimulateCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err) {
  const CArguments args(arguments, OptionSpecs());
  if (args.Positionals().empty()) throw CUsageError("expected one or more crystal or observed-data files");
  const CSimulation simulation = SimulationFrom(args);
  const bool several = args.Positionals().size() > 1;
  int status = kExitSuccess;
  std::vector<std::shared_ptr<CTSCrystalPattern>> crystals;
  for (const std::string& input : args.Positionals()) {
    const bool simulated = WithInputFile(input, [&] {
      if (auto crystal = Simulate(input, simulation, several, out, err)) crystals.push_back(std::move(crystal));
    });
    if (!simulated) status = kExitFailure;
  }
  WriteListings(simulation, crystals, out);
  return status;
}
