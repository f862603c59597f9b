// The difference curve: observed minus calculated intensity at every observed point, drawn
// below the reflexion rows so that a misfit shows at a glance.
#pragma once

#include <optional>
#include <vector>

#include "patterns/profile.h"
#include "plot/canvas.h"
#include "plot/curves.h"
#include "plot/plot_geometry.h"

class CPlotSpec;
class CTSPattern;

// The plotted observed intensity minus the plotted calculated one at each observed x within the
// calculated curve; both as the patterns' display transforms place them. Nothing unless the
// plotted patterns hold an observed pattern and a calculated one (the first of each is taken).
std::optional<CProfile> DifferenceCurve(const std::vector<CTSPattern*>& plotted,
                                        const CPlotSpec& plotSpec);

// The smallest and largest difference within the visible range (0, 0 for none).
std::pair<double, double> DifferenceSpan(const CProfile& difference, double xMin, double xMax);

// The curve's pen, for the legend too.
CCurvePen DifferencePen();

// Draws the curve moved down so that its highest point stands at pixel row `top`, with its zero
// line dotted.
void DrawDifference(CCanvas& canvas, const CPlotGeometry& geometry, const CProfile& difference,
                    float top);
