// The options every calculating command takes: radiation and instrument, reflexion limits and
// the sample settings applied to each crystal.
#pragma once

#include <vector>

#include "cli/arguments.h"
#include "crystal/crystal.h"
#include "patterns/plot_spec.h"

class CPreferences;

// What the options ask of a crystal, applied after it is read.
struct CSampleSettings {
  double particleSize = 10000.0;
  double isotropicStrain = 0.0;
  bool useDisplacementParameters = true;
  bool usePreferredOrientation = false;
  CTSCrystal::PreferredOrientationType geometry = CTSCrystal::kPlates;
  CTSCrystal::TSVectorType vectorType = CTSCrystal::kPlaneNormal;
  VHTypes::CVector vector{0.0, 0.0, 1.0};
  double alignment = 0.9;

  void ApplyTo(CTSCrystal& crystal) const;
};

struct CCalculationSettings {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  CSampleSettings sample;
};

// --radiation, --wavelength, --voltage, --dmin, --max-reflexions, --no-adp, --po,
// --po-vector, --po-type, --po-alignment, --axis, --edx-theta, --tof-theta, --tof-distance.
std::vector<COptionSpec> CalculationOptionSpecs();

// While it lives, calculations start from the user's preferences instead of the built-in
// defaults.
class CCalculationDefaultsScope {
 public:
  explicit CCalculationDefaultsScope(const CPreferences& preferences);
  // A session's plot specification, with the sample settings of the defaults in force.
  explicit CCalculationDefaultsScope(const CPlotSpec& plotSpec);
  ~CCalculationDefaultsScope();
  CCalculationDefaultsScope(const CCalculationDefaultsScope&) = delete;
  CCalculationDefaultsScope& operator=(const CCalculationDefaultsScope&) = delete;

 private:
  CCalculationSettings m_settings;
  const CCalculationSettings* m_previous;
};

// The settings the options give, starting from the built-in defaults (or the preferences, see
// above); a bad value raises CUsageError naming the option. Without --axis the axis follows the
// radiation (energy for energy-dispersive X-rays, time of flight for time-of-flight neutrons,
// 1/d for electrons, 2θ otherwise), unless the preferences give no --radiation an axis that
// fits their own.
CCalculationSettings CalculationSettingsFrom(const CArguments& arguments);
