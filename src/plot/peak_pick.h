// Which reflexion the pointer is on: the peak tips while hovering, and picking a reflexion with
// a click, which the reflexions list then shows.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "patterns/pattern.h"
#include "plot/plot_geometry.h"

struct CTSReflexion;
class CPlotSpec;

struct CPickedPeak {
  std::shared_ptr<CTSPattern> pattern;
  std::shared_ptr<CTSReflexion> reflexion;
};

// Among the plotted crystal patterns (a mixture's components included), the strongest
// reflexion whose position lies within the hit tolerance of the pointer's x; nothing when the
// pointer is outside the plot area or near no reflexion.
std::optional<CPickedPeak> PickPeak(const CPatternList& patterns, const CPlotGeometry& geometry,
                                    CPointF pointer);

// The tip of a picked peak: the phase, the indices, d, the position with the axis unit, and the
// intensity relative to the phase's strongest, one item a line.
std::string PeakTip(const CPickedPeak& peak, const CPlotSpec& plotSpec);
