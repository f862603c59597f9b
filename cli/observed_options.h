// The options of the calculating commands that act on observed data: x scaling, smoothing and
// background subtraction, applied to each observed pattern after it is read.
#pragma once

#include <iosfwd>
#include <optional>
#include <vector>

#include "cli/arguments.h"
#include "patterns/profile.h"

class CTSObservedPattern;

struct CObservedSettings {
  static constexpr long long kLargestSmoothingRadius = 1000;

  std::optional<double> scaleX;
  std::optional<int> smoothingRadius;
  bool autoBackground = false;
  // The anchors of a background given point by point, in increasing x.
  std::optional<CProfile> backgroundAnchors;

  // Scales x, smooths, then subtracts the background. A radius too large for the data leaves
  // them unsmoothed, which is said on `err`; the background still comes off.
  void ApplyTo(CTSObservedPattern& pattern, std::ostream& err) const;
};

// --scale-x, --smooth, --background.
std::vector<COptionSpec> ObservedOptionSpecs();

// The settings the options give; a bad value raises CUsageError naming the option.
CObservedSettings ObservedSettingsFrom(const CArguments& arguments);
