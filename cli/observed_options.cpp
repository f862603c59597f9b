#include "cli/observed_options.h"

#include <algorithm>
#include <ostream>
#include <string>

#include "patterns/observed_pattern.h"
#include "patterns/smoothing.h"

namespace {

// "x1:y1,x2:y2,...": at least two points with x rising.
CProfile BackgroundAnchors(const std::string& text) {
  const auto refuse = [&text]() -> CUsageError {
    return CUsageError("--background needs auto or X:Y,X:Y,... with at least two points and x rising, not '" + text +
                       "'");
  };
  CProfile anchors;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string pair = text.substr(start, comma - start);
    const size_t colon = pair.find(':');
    if (colon == std::string::npos) throw refuse();
    const std::optional<double> x = ParseDouble(pair.substr(0, colon)), y = ParseDouble(pair.substr(colon + 1));
    if (!x || !y || (!anchors.empty() && !(*x > anchors.back().x))) throw refuse();
    anchors.push_back({*x, *y});
    start = comma + 1;
  }
  if (anchors.size() < 2) throw refuse();
  return anchors;
}

}  // namespace

std::vector<COptionSpec> ObservedOptionSpecs() {
  return {{"--scale-x", true}, {"--smooth", true}, {"--background", true}};
}

CObservedSettings ObservedSettingsFrom(const CArguments& arguments) {
  CObservedSettings settings;
  if (const auto factor = arguments.Double("--scale-x")) {
    if (!(*factor > 0.0)) throw CUsageError("--scale-x must be positive");
    settings.scaleX = *factor;
  }
  if (const auto radius = arguments.Integer("--smooth")) {
    if (*radius < 1 || *radius > CObservedSettings::kLargestSmoothingRadius)
      throw CUsageError("--smooth must lie between 1 and " +
                        std::to_string(CObservedSettings::kLargestSmoothingRadius));
    settings.smoothingRadius = static_cast<int>(*radius);
  }
  if (const auto background = arguments.Value("--background")) {
    if (*background == "auto")
      settings.autoBackground = true;
    else
      settings.backgroundAnchors = BackgroundAnchors(*background);
  }
  return settings;
}

void CObservedSettings::ApplyTo(CTSObservedPattern& pattern, std::ostream& err) const {
  if (scaleX) pattern.ScaleXValues(*scaleX);
  if (smoothingRadius) {
    const size_t points = pattern.RawPoints().size();
    if (VHSmoothing::RadiusFits(*smoothingRadius, points)) {
      pattern.Smoothing().smooth = true;
      pattern.Smoothing().radius = *smoothingRadius;
      pattern.Smooth();
    } else {
      // Switched on, smoothing without smoothed points would leave the background nothing to
      // come off.
      err << pattern.Title() << ": not smoothed: a radius of " << *smoothingRadius << " needs at least "
          << 3 * *smoothingRadius << " points, the data have " << points << "\n";
    }
  }
  if (autoBackground) pattern.ResetBackground();
  if (backgroundAnchors) pattern.SetControlPoints(ControlPointsThrough(*backgroundAnchors, pattern.HandleFraction()));
  if (autoBackground || backgroundAnchors) {
    pattern.SetBackgroundInUse(true);
    pattern.SetBackgroundPreview(false);
  }
}
