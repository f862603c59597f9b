// Finding the background marker (anchor or handle of a control point of observed data) under
// the pointer. Runs on every pointer move: it walks only the plotted and selected observed
// patterns and stops at the first hit.
#pragma once

#include <optional>

#include "patterns/background.h"
#include "patterns/pattern.h"
#include "plot/plot_geometry.h"

class CTSObservedPattern;

struct CMarkerHit {
  CTSObservedPattern* pattern = nullptr;
  size_t point = 0;  // index of the control point
  CHandleRole role = CHandleRole::kAnchor;
};

class CMarkerHitTest {
 public:
  // Whether a marker lies within the hit tolerance of `pointer`. A new search first clears the
  // selection of every marker of every observed pattern and forgets the current marker; its hit
  // becomes the current marker and is selected.
  bool Test(const CPlotGeometry& geometry, const CPatternList& patterns, CPointF pointer,
            bool newSearch);
  const std::optional<CMarkerHit>& Current() const { return m_current; }

 private:
  std::optional<CMarkerHit> m_current;
};
