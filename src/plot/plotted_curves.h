// What the plot takes from the patterns: which are plotted, where their points are drawn, and
// the points themselves.
#pragma once

#include <vector>

#include "patterns/pattern.h"
#include "plot/curves.h"

class CPlotSpec;

// Every plotted pattern once, components of mixtures included, in list order; a pattern that
// is both a row and a component of a mixture comes after its mixture.
std::vector<CTSPattern*> PlottedPatterns(const CPatternList& patterns);

// The pattern's display transform: x offset, y scale times mixture fraction, y offset.
CPlacement PlacementOf(const CTSPattern& pattern);

// The pen of the pattern's curve: its colour, line and marker as its style says.
CCurvePen CurvePenOf(const CTSPattern& pattern);

// The points the curve shows: an observed pattern's shown data, else the calculated profile
// (computed now if the pattern has none yet).
const CProfile& CurvePoints(CTSPattern& pattern, const CPlotSpec& plotSpec);

// The curve's value at x, linear between its neighbouring points; 0 outside the curve.
double InterpolateAt(const CProfile& points, double x);

// The same values read at x that never decreases, walking the curve once instead of searching
// it for every x (the film's columns, the difference at the observed points).
class CCurveWalker {
 public:
  explicit CCurveWalker(const CProfile& points) : m_points(points) {}
  double At(double x);

 private:
  const CProfile& m_points;
  size_t m_next = 0;  // the first point beyond the last x asked for
};
