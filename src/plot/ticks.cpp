#include "plot/ticks.h"

#include <cmath>
#include <limits>

#include "plot/output_scale.h"

namespace {

constexpr int kMinimumTickSpacing = 4;  // screen pixels
constexpr double kMajorTarget = 100.0;  // pixels
constexpr double kMediumTarget = 40.0;
constexpr double kMinorTarget = 5.0;

double Decade(double value) {
  return value == 0.0 ? 0.0 : std::floor(std::log10(std::abs(value)));
}

// The candidate whose spacing lies within [minimum, upper] and nearest the target; the earlier
// on a tie. Returns the step, or 0.
template <size_t N, class Qualifies>
double Nearest(const double (&factors)[N], double unit, double scale, double upper, double target,
               Qualifies qualifies) {
  const double minimum = OutputScale().Pixels(kMinimumTickSpacing);
  double best = 0.0, bestDistance = std::numeric_limits<double>::infinity();
  for (const double factor : factors) {
    const double step = factor * unit;
    const double spacing = step * scale;
    if (spacing < minimum || spacing > upper || !qualifies(step)) continue;
    // The targets are sizes on the screen too, so that an export at another resolution is
    // ticked as the screen would tick it at that size.
    const double distance = std::abs(spacing - target * OutputScale().Ratio());
    if (distance < bestDistance) best = step, bestDistance = distance;
  }
  return best;
}

}  // namespace

double MajorTickStep(double range, double scale) {
  if (!(scale > 0.0)) return 0.0;
  static constexpr double kMultipliers[] = {1, 2, 5, 10, 20, 50};
  const double upper = range * scale * OutputScale().Ratio();
  const double base = std::pow(10.0, Decade(range)) * 0.1;
  return Nearest(kMultipliers, base, scale, upper, kMajorTarget, [](double) { return true; });
}

double FinerTickStep(double coarser, double scale, double targetPixels) {
  if (!(scale > 0.0) || !(coarser > 0.0)) return 0.0;
  static constexpr double kFactors[] = {0.1, 0.2, 0.5, 1, 2, 5, 10};
  const double unit = std::pow(10.0, Decade(coarser));
  const double upper = coarser * scale * OutputScale().Ratio();
  return Nearest(kFactors, unit, scale, upper, targetPixels, [coarser](double step) {
    return coarser - std::floor(coarser / step) * step <= 0.0;
  });
}

CTickSteps TickSteps(double range, double scale) {
  CTickSteps steps;
  steps.major = MajorTickStep(range, scale);
  steps.medium = FinerTickStep(steps.major, scale, kMediumTarget);
  steps.minor = FinerTickStep(steps.medium, scale, kMinorTarget);
  return steps;
}
