// Commands that arrange the curves vertically: Stack puts the plotted curves one above the
// other, the first on top; Collapse puts every curve back on the baseline (both set the
// intensity range to fit; the caller asks the views to redraw); ScaleToData lays a calculated
// curve over measured data.
#pragma once

#include "patterns/pattern.h"
#include "patterns/plot_display.h"

class CPlotSpec;
class CTSObservedPattern;

void StackPatterns(const CPatternList& patterns, CPlotDisplay& display);
void CollapsePatterns(const CPatternList& patterns, CPlotDisplay& display);

// Gives a calculated pattern the y scale s (not below 0) and y offset b that fit its curve to
// the observed points it covers in the least-squares sense, observed = s * calculated + b, so
// that the two can be compared and their difference means something. A mixture is scaled
// through its components, which then sit on the same offset. Nothing changes without at least
// two observed points under the calculated curve.
void ScaleToData(CTSPattern& calculated, const CTSObservedPattern& observed,
                 const CPlotSpec& plotSpec);
