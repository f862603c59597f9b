// The legend: one row per plotted curve (a swatch drawn in the curve's style and its name) in a
// box at the top right of the plot area. Rows that do not fit are summed up in a last row.
#pragma once

#include <string>
#include <vector>

#include "plot/canvas.h"
#include "plot/curves.h"
#include "plot/plot_geometry.h"

class CTSPattern;

struct CLegendEntry {
  std::string name;
  CCurvePen pen;
};

// A row for each pattern: its display name in its curve's style.
std::vector<CLegendEntry> LegendEntries(const std::vector<CTSPattern*>& patterns);

// Where the legend stands; an empty rectangle when there is nothing to list or no room.
CRectF LegendBox(CCanvas& canvas, const CPlotGeometry& geometry,
                 const std::vector<CLegendEntry>& entries);

void DrawLegend(CCanvas& canvas, const CPlotGeometry& geometry,
                const std::vector<CLegendEntry>& entries);
