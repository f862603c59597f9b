// The legend: one row per plotted curve (a swatch drawn in the curve's style and its display
// name) in a box at the top right of the plot area. Rows that do not fit are summed up in a
// last row.
#pragma once

#include <vector>

#include "plot/canvas.h"
#include "plot/plot_geometry.h"

class CTSPattern;

// Where the legend stands; an empty rectangle when there is nothing to list or no room.
CRectF LegendBox(CCanvas& canvas, const CPlotGeometry& geometry,
                 const std::vector<CTSPattern*>& patterns);

void DrawLegend(CCanvas& canvas, const CPlotGeometry& geometry,
                const std::vector<CTSPattern*>& patterns);
