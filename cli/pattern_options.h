// What the commands that draw or write whole patterns (simulate, plot) share: the options that
// shape the calculated curves beyond the calculation options (range, grid, peak shape, the
// K-alpha doublet, crystallite size and strain, mixing), given to the patterns of the input
// files.
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

class CTSMixturePattern;

struct CPatternSettings {
  CCalculationSettings calculation;
  CObservedSettings observed;
  // --mix: the inputs' patterns as one mixture, with these fractions in input order; empty
  // fractions for equal ones.
  std::optional<std::vector<double>> mix;

  // A crystal pattern takes the sample settings; an observed one is scaled, smoothed and has
  // its background taken off as the options ask, with notes on `err`.
  void ApplyTo(CTSPattern& pattern, std::ostream& err) const;
};

// The calculation and observed-data options with --range, --points, --profile, --eta, --width,
// --ka2, --wavelength2, --ratio, --particle-size, --strain and --mix.
std::vector<COptionSpec> PatternOptionSpecs();

// The settings the options give; a bad value raises CUsageError naming the option.
CPatternSettings PatternSettingsFrom(const CArguments& arguments);

// --particle-size (and simulate's older --size): the crystallite size in Angstrom.
double CrystalliteSize(const std::string& option, double value);
// --size SIZE, the crystallite size's first name, kept beside --particle-size by the commands
// whose --size means nothing else (plot's is the picture's).
void TakeSizeOption(const CArguments& arguments, CPatternSettings& settings);

// The patterns as one mixture titled "A + B + ...", with the given fractions as they are (the
// user chose them, so nothing is rebalanced) or equal ones when none are given. A count of
// fractions that does not match is a usage error.
std::shared_ptr<CTSMixturePattern> MixtureOfInputs(const CPatternList& patterns,
                                                   const std::vector<double>& fractions);
