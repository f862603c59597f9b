// The two commands that arrange the curves vertically: Stack puts the plotted curves one above
// the other, the first on top; Collapse puts every curve back on the baseline. Both set the
// intensity range to fit; the caller asks the views to redraw.
#pragma once

#include "patterns/pattern.h"
#include "patterns/plot_display.h"

void StackPatterns(const CPatternList& patterns, CPlotDisplay& display);
void CollapsePatterns(const CPatternList& patterns, CPlotDisplay& display);
