#include "plot/plotted_curves.h"

#include <algorithm>

#include "patterns/observed_pattern.h"

std::vector<CTSPattern*> PlottedPatterns(const CPatternList& patterns) {
  std::vector<CTSPattern*> plotted;
  ForEachPattern(patterns, [&plotted](CTSPattern& pattern) {
    if (!pattern.Plotted()) return;
    // A mixture's component may be a row of the list as well: it is one curve, drawn once,
    // after its mixture, where its share shows over the sum.
    std::erase(plotted, &pattern);
    plotted.push_back(&pattern);
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

namespace {

// The value at x given the first point beyond x (`next`, possibly the end).
double ValueBefore(const CProfile& points, size_t next, double x) {
  if (next == 0) return 0.0;
  const CProfilePoint& a = points[next - 1];
  if (next == points.size()) return a.x == x ? a.y : 0.0;
  const CProfilePoint& b = points[next];
  return a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x);
}

}  // namespace

double InterpolateAt(const CProfile& points, double x) {
  const auto next =
      std::upper_bound(points.begin(), points.end(), x,
                       [](double value, const CProfilePoint& point) { return value < point.x; });
  return ValueBefore(points, static_cast<size_t>(next - points.begin()), x);
}

double CCurveWalker::At(double x) {
  while (m_next < m_points.size() && m_points[m_next].x <= x) ++m_next;
  return ValueBefore(m_points, m_next, x);
}
