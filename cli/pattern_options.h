// What the commands that draw or write whole patterns (simulate, plot) share: the options that
// shape the calculated curves beyond the calculation options (range, grid, peak shape, the
// K-alpha doublet, crystallite size and strain, mixing), and the making of patterns from the
// input files.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/calculation_options.h"
#include "cli/observed_options.h"
#include "patterns/pattern.h"

class CTSCrystalPattern;
class CTSMixturePattern;
class CTSObservedPattern;
struct CCrystalFile;

struct CPatternSettings {
  CCalculationSettings calculation;
  CObservedSettings observed;
  // --mix: the inputs' patterns as one mixture, with these fractions in input order; empty
  // fractions for equal ones.
  std::optional<std::vector<double>> mix;
};

// The calculation and observed-data options with --range, --points, --profile, --eta, --width,
// --ka2, --wavelength2, --ratio, --particle-size, --strain and --mix.
std::vector<COptionSpec> PatternOptionSpecs();

// The settings the options give; a bad value raises CUsageError naming the option.
CPatternSettings PatternSettingsFrom(const CArguments& arguments);

// --particle-size (and simulate's older --size): the crystallite size in Angstrom.
double CrystalliteSize(const std::string& option, double value);

// A crystal of an input with the sample settings applied, calculated for the settings.
std::shared_ptr<CTSCrystalPattern> CalculatedCrystal(const std::string& input, CCrystalFile file,
                                                     const CPatternSettings& settings);

// An observed-data input, scaled, smoothed and with its background taken off as the options
// ask; notes go to `err`.
std::shared_ptr<CTSObservedPattern> ProcessedObserved(const std::string& input,
                                                      const CPatternSettings& settings,
                                                      std::ostream& err);

// The patterns as one mixture titled "A + B + ...", with the given fractions as they are (the
// user chose them, so nothing is rebalanced) or equal ones when none are given. A count of
// fractions that does not match is a usage error.
std::shared_ptr<CTSMixturePattern> MixtureOfInputs(const CPatternList& patterns,
                                                   const std::vector<double>& fractions);
