#include "plot/plotted_curves.h"

#include <algorithm>

#include "patterns/observed_pattern.h"

std::vector<CTSPattern*> PlottedPatterns(const CPatternList& patterns) {
  std::vector<CTSPattern*> plotted;
  ForEachPattern(patterns, [&plotted](CTSPattern& pattern) {
    if (pattern.Plotted()) plotted.push_back(&pattern);
  });
  return plotted;
}

CPlacement PlacementOf(const CTSPattern& pattern) {
  return {pattern.XOffset(), pattern.YScale() * pattern.MixtureFraction(), pattern.YOffset()};
}

CCurvePen CurvePenOf(const CTSPattern& pattern) {
  const CCurveStyle& style = pattern.Style();
  return {style.colour, style.lineWidth, style.lineStyle, style.markerStyle, style.markerSize};
}

const CProfile& CurvePoints(CTSPattern& pattern, const CPlotSpec& plotSpec) {
  if (pattern.GetKind() == CTSPattern::kObserved) return pattern.ProfilePoints(false);
  return pattern.GetProfile(plotSpec);
}

double InterpolateAt(const CProfile& points, double x) {
  const auto upper =
      std::upper_bound(points.begin(), points.end(), x,
                       [](double value, const CProfilePoint& point) { return value < point.x; });
  if (upper == points.begin())
    return points.empty() || x < points.front().x ? 0.0 : points.front().y;
  if (upper == points.end()) return x == points.back().x ? points.back().y : 0.0;
  const CProfilePoint& a = *(upper - 1);
  const CProfilePoint& b = *upper;
  return a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x);
}
