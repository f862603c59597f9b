#include "cli/calculation_options.h"

#include <cmath>

#include "preferences/preferences.h"

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

// Characteristic lines of the usual anodes: K-alpha-1 and K-alpha-2 in Angstrom (International
// Tables for Crystallography Vol. C, Table 4.2.2.1); K-alpha-1 is twice as strong as K-alpha-2.
struct CAnode {
  const char* name;
  double kAlpha1, kAlpha2;
};
constexpr CAnode kAnodes[] = {{"Cr", 2.289760, 2.293663}, {"Fe", 1.936042, 1.939980},
                              {"Co", 1.788965, 1.792850}, {"Cu", 1.540562, 1.544390},
                              {"Mo", 0.709300, 0.713590}, {"Ag", 0.559407, 0.563798}};
constexpr double kAlphaRatio = 2.0;

const char* RadiationName(TSSimulationType type) {
  for (const CNamedValue& v : kRadiations)
    if (v.value == type) return v.name;
  return "?";
}

const char* AxisName(TSAxisType type) {
  for (const CNamedValue& v : kAxes)
    if (v.value == type) return v.name;
  return "?";
}

void ApplyAnode(const CArguments& arguments, CPlotSpec& plot) {
  std::vector<std::string> names;
  for (const CAnode& anode : kAnodes) names.emplace_back(anode.name);
  const std::optional<std::string> chosen = arguments.Choice("--anode", names);
  if (!chosen) return;
  if (plot.SimulationType() != kSimulationXrays)
    throw CUsageError("--anode is for X-rays (--radiation xray)");
  if (arguments.Has("--wavelength")) throw CUsageError("give --anode or --wavelength, not both");
  for (const CAnode& anode : kAnodes) {
    if (*chosen != anode.name) continue;
    plot.SetLambda(anode.kAlpha1);
    plot.SetLambda2(anode.kAlpha2);
    plot.SetLambdaRatio(kAlphaRatio);
  }
}

// The defaults of a scope of the preferences, while one lives.
const CCalculationSettings* g_defaults = nullptr;

CSampleSettings SampleSettingsOf(const CTSCrystal& crystal) {
  return {crystal.particleSize,
          crystal.isotropicStrain,
          crystal.useDisplacementParameters,
          crystal.usePreferredOrientation,
          crystal.preferredOrientationGeometry,
          crystal.preferredOrientationVectorType,
          crystal.preferredOrientationVector,
          crystal.preferredOrientationAlignment};
}

constexpr double kInfinity = HUGE_VAL;
// The wavelength limits of the X-ray wavelength dialog.
constexpr double kShortestWavelength = 9.999999747378752e-05;
constexpr double kLongestWavelength = 100000.0;

}  // namespace

CCalculationDefaultsScope::CCalculationDefaultsScope(const CPreferences& preferences)
    : m_settings{CPlotSpec::FromPreferences(preferences),
                 SampleSettingsOf(CTSCrystal::FromPreferences(preferences))},
      m_previous(g_defaults) {
  g_defaults = &m_settings;
}

CCalculationDefaultsScope::CCalculationDefaultsScope(const CPlotSpec& plotSpec)
    : m_settings{plotSpec, g_defaults ? g_defaults->sample : CSampleSettings{}},
      m_previous(g_defaults) {
  g_defaults = &m_settings;
}

CCalculationDefaultsScope::~CCalculationDefaultsScope() {
  g_defaults = m_previous;
}

void CSampleSettings::ApplyTo(CTSCrystal& crystal) const {
  crystal.particleSize = particleSize;
  crystal.isotropicStrain = isotropicStrain;
  crystal.useDisplacementParameters = useDisplacementParameters;
  crystal.usePreferredOrientation = usePreferredOrientation;
  crystal.preferredOrientationGeometry = geometry;
  crystal.preferredOrientationVectorType = vectorType;
  crystal.preferredOrientationVector = vector;
  crystal.preferredOrientationAlignment = alignment;
}

std::vector<COptionSpec> CalculationOptionSpecs() {
  return {{"--radiation", true}, {"--wavelength", true},   {"--anode", true},
          {"--voltage", true},   {"--dmin", true},         {"--max-reflexions", true},
          {"--no-adp"},          {"--po", true},           {"--po-vector", true},
          {"--po-type", true},   {"--po-alignment", true}, {"--axis", true},
          {"--edx-theta", true}, {"--tof-theta", true},    {"--tof-distance", true}};
}

CCalculationSettings CalculationSettingsFrom(const CArguments& arguments) {
  CCalculationSettings settings = g_defaults ? *g_defaults : CCalculationSettings{};
  CPlotSpec& plot = settings.plotSpec;
  const auto radiation = ChosenValue(arguments, "--radiation", kRadiations);
  if (radiation) plot.SetSimulationType(static_cast<TSSimulationType>(*radiation));
  const bool electrons = plot.SimulationType() == kSimulationElectrons;

  const auto wavelength = Bounded(arguments, "--wavelength", kShortestWavelength, kLongestWavelength);
  if (wavelength && plot.SimulationType() == kSimulationEnergyDispersive)
    throw CUsageError(
        "--wavelength does not apply to energy-dispersive X-rays (--radiation edx), which use "
        "every "
        "wavelength at one angle");
  if (wavelength && plot.SimulationType() == kSimulationTimeOfFlight)
    throw CUsageError(
        "--wavelength does not apply to time-of-flight neutrons (--radiation tof), which use "
        "every wavelength at one angle; --dmin limits the d-spacings");
  const auto voltage = Bounded(arguments, "--voltage", 0.0, kInfinity, false);
  if (voltage && !electrons) throw CUsageError("--voltage is for electrons (--radiation electron)");
  if (voltage && wavelength) throw CUsageError("give --voltage or --wavelength, not both");
  if (electrons && voltage) plot.SetLambdaTEM(ElectronWavelength(*voltage));
  if (wavelength) electrons ? plot.SetLambdaTEM(*wavelength) : plot.SetLambda(*wavelength);
  ApplyAnode(arguments, plot);

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
  // instrument width is given. The preferences' axis stays with the preferences' radiation.
  TSAxisType axis = plot.SimulationType() == kSimulationEnergyDispersive ? kAxisEnergy
                    : plot.SimulationType() == kSimulationTimeOfFlight   ? kAxisTimeOfFlight
                    : plot.SimulationType() == kSimulationElectrons      ? kAxisInverseD
                                                                         : kAxisTwoTheta;
  if (g_defaults && !radiation && AxisFitsRadiation(plot.AxisType(), plot.SimulationType()))
    axis = plot.AxisType();
  if (const auto chosen = ChosenValue(arguments, "--axis", kAxes)) axis = static_cast<TSAxisType>(*chosen);
  if (!AxisFitsRadiation(axis, plot.SimulationType()))
    throw CUsageError(std::string("--axis ") + AxisName(axis) + " does not fit --radiation " +
                      RadiationName(plot.SimulationType()));
  plot.SetAxisType(axis);

  CSampleSettings& sample = settings.sample;
  if (arguments.Has("--no-adp")) sample.useDisplacementParameters = false;
  if (const auto po = arguments.Choice("--po", {"plates", "needles"})) {
    sample.usePreferredOrientation = true;
    sample.geometry = *po == "needles" ? CTSCrystal::kNeedles : CTSCrystal::kPlates;
  } else if (arguments.Has("--po-vector") || arguments.Has("--po-type") || arguments.Has("--po-alignment")) {
    throw CUsageError("--po-vector, --po-type and --po-alignment need --po plates|needles");
  }
  if (const auto vector = arguments.Doubles("--po-vector", 3)) {
    sample.vector = {(*vector)[0], (*vector)[1], (*vector)[2]};
    if (sample.vector == VHTypes::CVector{})
      throw CUsageError("--po-vector 0,0,0 has no direction");
  }
  if (const auto type = arguments.Choice("--po-type", {"normal", "lattice"}))
    sample.vectorType = *type == "lattice" ? CTSCrystal::kLatticeVector : CTSCrystal::kPlaneNormal;
  if (const auto alignment = Bounded(arguments, "--po-alignment", 0.0, 1.0)) sample.alignment = *alignment;
  return settings;
}
