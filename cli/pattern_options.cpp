#include "cli/pattern_options.h"

#include <cmath>

#include "app/text.h"
#include "errors/exceptions.h"
#include "patterns/mixture_pattern.h"
#include "patterns/observed_pattern.h"

namespace {

using namespace VHTypes;

constexpr uint64_t kFewestPoints = 5;  // a profile file needs more than 4
constexpr uint64_t kMostPoints = 10'000'000;
constexpr double kLargestSize = 10000.0;

struct CNamedProfile {
  const char* name;
  TSProfileType type;
};
constexpr CNamedProfile kProfiles[] = {{"delta", kProfileDelta},
                                       {"gaussian", kProfileGaussian},
                                       {"lorentzian", kProfileLorentzian},
                                       {"pseudo-voigt", kProfilePseudoVoigt}};

double Positive(const std::string& option, double value, double high = HUGE_VAL) {
  if (!(value > 0.0) || value > high || !std::isfinite(value))
    throw CUsageError(option + " must be positive" +
                      (std::isfinite(high) ? " and at most " + std::to_string(high) : ""));
  return value;
}

void ApplyRange(const CArguments& args, CPlotSpec& plot) {
  const std::optional<std::string> range = args.Value("--range");
  if (!range) return;
  const size_t colon = range->find(':');
  const std::optional<double> low =
      colon == std::string::npos ? std::nullopt : ParseDouble(range->substr(0, colon));
  const std::optional<double> high =
      colon == std::string::npos ? std::nullopt : ParseDouble(range->substr(colon + 1));
  if (!low || !high || !std::isfinite(*low) || !std::isfinite(*high))
    throw CUsageError("--range needs MIN:MAX, not '" + *range + "'");
  if (*low >= *high) throw CUsageError("--range needs MIN below MAX, not '" + *range + "'");
  plot.SetXRange(*low, *high);
}

void ApplyProfileOptions(const CArguments& args, CPlotSpec& plot) {
  if (const auto points = args.Integer("--points")) {
    if (*points < static_cast<long long>(kFewestPoints) ||
        *points > static_cast<long long>(kMostPoints))
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
  if (plot.SimulationType() != kSimulationXrays)
    throw CUsageError("--ka2 is for X-rays (--radiation xray)");
  plot.SetMonochromatic(false);
  if (const auto lambda = args.Double("--wavelength2"))
    plot.SetLambda2(Positive("--wavelength2", *lambda));
  if (const auto ratio = args.Double("--ratio")) {
    if (!(*ratio >= 0.0) || !std::isfinite(*ratio)) throw CUsageError("--ratio must be 0 or more");
    plot.SetLambdaRatio(*ratio);
  }
}

// --mix F1,F2,... (one fraction for each input, none negative; they need not add up to 1) or
// --mix equal.
std::optional<std::vector<double>> MixFractions(const CArguments& args) {
  const std::optional<std::string> mix = args.Value("--mix");
  if (!mix) return std::nullopt;
  if (Lowercase(*mix) == "equal") return std::vector<double>{};
  const std::vector<double> fractions = *args.Doubles("--mix", args.Positionals().size());
  for (const double fraction : fractions)
    if (!(fraction >= 0.0))
      throw CUsageError("--mix fractions may not be negative, not '" + *mix + "'");
  return fractions;
}

}  // namespace

std::vector<COptionSpec> PatternOptionSpecs() {
  std::vector<COptionSpec> options = CalculationOptionSpecs();
  for (COptionSpec& option : ObservedOptionSpecs()) options.push_back(std::move(option));
  for (const char* name : {"--range", "--points", "--profile", "--eta", "--width", "--wavelength2",
                           "--ratio", "--particle-size", "--strain", "--mix"})
    options.emplace_back(name, true);
  options.emplace_back("--ka2");
  return options;
}

double CrystalliteSize(const std::string& option, double value) {
  return Positive(option, value, kLargestSize);
}

CPatternSettings PatternSettingsFrom(const CArguments& args) {
  CPatternSettings settings;
  settings.calculation = CalculationSettingsFrom(args);
  settings.observed = ObservedSettingsFrom(args);
  CPlotSpec& plot = settings.calculation.plotSpec;
  ApplyRange(args, plot);
  ApplyProfileOptions(args, plot);
  ApplyDoublet(args, plot);
  CSampleSettings& sample = settings.calculation.sample;
  if (const auto size = args.Double("--particle-size"))
    sample.particleSize = CrystalliteSize("--particle-size", *size);
  if (const auto strain = args.Double("--strain")) {
    if (!(*strain >= 0.0 && *strain <= 1.0)) throw CUsageError("--strain must lie between 0 and 1");
    sample.isotropicStrain = *strain;
  }
  settings.mix = MixFractions(args);
  return settings;
}

void CPatternSettings::ApplyTo(CTSPattern& pattern, std::ostream& err) const {
  if (CTSCrystal* crystal = pattern.Crystal())
    calculation.sample.ApplyTo(*crystal);
  else if (pattern.GetKind() == CTSPattern::kObserved)
    observed.ApplyTo(static_cast<CTSObservedPattern&>(pattern), err);
}

std::shared_ptr<CTSMixturePattern> MixtureOfInputs(const CPatternList& patterns,
                                                   const std::vector<double>& fractions) {
  if (!fractions.empty() && fractions.size() != patterns.size())
    throw CUsageError("--mix gives " + std::to_string(fractions.size()) + " fractions for " +
                      std::to_string(patterns.size()) + " patterns");
  const std::shared_ptr<CTSMixturePattern> mixture = NewMixture(patterns, {});
  std::string title;
  for (size_t i = 0; i < patterns.size(); ++i) {
    if (!fractions.empty()) patterns[i]->SetMixtureFraction(fractions[i]);
    title += (i ? " + " : "") + patterns[i]->Title();
  }
  mixture->SetTitle(title);
  return mixture;
}

void TakeSizeOption(const CArguments& arguments, CPatternSettings& settings) {
  if (const auto size = arguments.Double("--size"))
    settings.calculation.sample.particleSize = CrystalliteSize("--size", *size);
}
