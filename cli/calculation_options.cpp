#include "cli/calculation_options.h"

#include <cmath>

namespace {

using namespace VHTypes;

struct CNamedValue {
  const char* name;
  uint32_t value;
};

constexpr CNamedValue kRadiations[] = {{"xray", kSimulationXrays},
                                       {"neutron", kSimulationNeutrons},
                                       {"edx", kSimulationEnergyDispersive},
                                       {"tof", kSimulationTimeOfFlight},
                                       {"electron", kSimulationElectrons}};
constexpr CNamedValue kAxes[] = {{"2theta", kAxisTwoTheta}, {"d", kAxisDSpacing},      {"1/d", kAxisInverseD},
                                 {"tof", kAxisTimeOfFlight}, {"energy", kAxisEnergy}, {"2pi/d", kAxisQ}};

template <size_t N>
std::optional<uint32_t> ChosenValue(const CArguments& arguments, const std::string& option,
                                    const CNamedValue (&values)[N]) {
  std::vector<std::string> names;
  for (const CNamedValue& v : values) names.emplace_back(v.name);
  const std::optional<std::string> choice = arguments.Choice(option, names);
  if (!choice) return std::nullopt;
  for (const CNamedValue& v : values)
    if (*choice == v.name) return v.value;
  return std::nullopt;
}

// A number that must lie in [low, high]; an open end is given as infinity.
std::optional<double> Bounded(const CArguments& arguments, const std::string& option, double low, double high,
                              bool lowIncluded = true) {
  const std::optional<double> value = arguments.Double(option);
  if (value && (*value > high || *value < low || (!lowIncluded && *value == low)))
    throw CUsageError("value of " + option + " out of range: " + std::to_string(*value));
  return value;
}

constexpr double kInfinity = HUGE_VAL;
// The wavelength limits of the X-ray wavelength dialog.
constexpr double kShortestWavelength = 9.999999747378752e-05;
constexpr double kLongestWavelength = 100000.0;

}  // namespace

void CSampleSettings::ApplyTo(CTSCrystal& crystal) const {
  crystal.useDisplacementParameters = useDisplacementParameters;
  crystal.usePreferredOrientation = usePreferredOrientation;
  crystal.preferredOrientationGeometry = geometry;
  crystal.preferredOrientationVectorType = vectorType;
  crystal.preferredOrientationVector = vector;
  crystal.preferredOrientationAlignment = alignment;
}

std::vector<COptionSpec> CalculationOptionSpecs() {
  return {{"--radiation", true},  {"--wavelength", true}, {"--voltage", true},      {"--dmin", true},
          {"--max-reflexions", true}, {"--no-adp"},       {"--po", true},           {"--po-vector", true},
          {"--po-type", true},    {"--po-alignment", true}, {"--axis", true},       {"--edx-theta", true},
          {"--tof-theta", true},  {"--tof-distance", true}};
}

CCalculationSettings CalculationSettingsFrom(const CArguments& arguments) {
  CCalculationSettings settings;
  CPlotSpec& plot = settings.plotSpec;
  const auto radiation = ChosenValue(arguments, "--radiation", kRadiations);
  if (radiation) plot.SetSimulationType(static_cast<TSSimulationType>(*radiation));
  const bool electrons = plot.SimulationType() == kSimulationElectrons;

  const auto wavelength = Bounded(arguments, "--wavelength", kShortestWavelength, kLongestWavelength);
  const auto voltage = Bounded(arguments, "--voltage", 0.0, kInfinity, false);
  if (voltage && !electrons) throw CUsageError("--voltage is for electrons (--radiation electron)");
  if (voltage && wavelength) throw CUsageError("give --voltage or --wavelength, not both");
  if (electrons && voltage) plot.SetLambdaTEM(ElectronWavelength(*voltage));
  if (wavelength) electrons ? plot.SetLambdaTEM(*wavelength) : plot.SetLambda(*wavelength);

  if (const auto dmin = Bounded(arguments, "--dmin", 0.0, kInfinity)) plot.SetDMin(*dmin);
  if (const auto count = arguments.Integer("--max-reflexions")) {
    if (*count < 0 || *count > INT32_MAX) throw CUsageError("--max-reflexions must be 0 (no cap) or a count");
    plot.SetRestrictMaxNumRefs(*count != 0);
    if (*count != 0) plot.SetMaxNumRefs(static_cast<int32_t>(*count));
  }
  if (const auto theta = Bounded(arguments, "--edx-theta", 0.0, VHTypes::kPi / 2, false)) plot.SetEDXTheta(*theta);
  if (const auto theta = Bounded(arguments, "--tof-theta", 0.0, VHTypes::kPi / 2, false)) plot.SetTOFTheta(*theta);
  if (const auto distance = Bounded(arguments, "--tof-distance", 0.0, kInfinity, false))
    plot.SetTOFDistance(*distance);

  // Each radiation's own axis: electron diffraction patterns are read in 1/d, where their
  // instrument width is given.
  TSAxisType axis = plot.SimulationType() == kSimulationEnergyDispersive ? kAxisEnergy
                    : plot.SimulationType() == kSimulationTimeOfFlight   ? kAxisTimeOfFlight
                    : plot.SimulationType() == kSimulationElectrons      ? kAxisInverseD
                                                                         : kAxisTwoTheta;
  if (const auto chosen = ChosenValue(arguments, "--axis", kAxes)) axis = static_cast<TSAxisType>(*chosen);
  plot.SetAxisType(axis);

  CSampleSettings& sample = settings.sample;
  sample.useDisplacementParameters = !arguments.Has("--no-adp");
  if (const auto po = arguments.Choice("--po", {"plates", "needles"})) {
    sample.usePreferredOrientation = true;
    sample.geometry = *po == "needles" ? CTSCrystal::kNeedles : CTSCrystal::kPlates;
  } else if (arguments.Has("--po-vector") || arguments.Has("--po-type") || arguments.Has("--po-alignment")) {
    throw CUsageError("--po-vector, --po-type and --po-alignment need --po plates|needles");
  }
  if (const auto vector = arguments.Doubles("--po-vector", 3)) sample.vector = {(*vector)[0], (*vector)[1], (*vector)[2]};
  if (const auto type = arguments.Choice("--po-type", {"normal", "lattice"}))
    sample.vectorType = *type == "lattice" ? CTSCrystal::kLatticeVector : CTSCrystal::kPlaneNormal;
  if (const auto alignment = Bounded(arguments, "--po-alignment", 0.0, 1.0)) sample.alignment = *alignment;
  return settings;
}
