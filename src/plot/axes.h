// The frame of the plot: the axes with their tick marks, tick labels and titles, the gridlines
// and the plot title. The graph has both axes; the film only the x axis.
#pragma once

#include <string>
#include <vector>

#include "plot/canvas.h"
#include "plot/plot_geometry.h"
#include "plot/ticks.h"

// One labelled tick: its value (as ticked: for a logarithmic axis, log10(y + 1)), its text and
// where it stands along the axis in pixels.
struct CAxisLabel {
  double value = 0.0;
  std::string text;
  float pixel = 0.0f;
};

struct CAxisTicks {
  CTickSteps steps;
  double labelStep = 0.0;  // 0: no labels
  std::vector<CAxisLabel> labels;
  // The intensity axis writes its labels divided by 10^exponent when it is not 0.
  int exponent = 0;
};

// The ticks of the x axis and of the intensity axis for the current layout.
CAxisTicks XAxisTicks(const CPlotGeometry& geometry, CCanvas& canvas);
CAxisTicks YAxisTicks(const CPlotGeometry& geometry, CCanvas& canvas);

// "name [unit]", or the name alone without a unit text.
std::string XAxisTitle(const CPlotDisplay& display);
// "log(name)" on a logarithmic axis; else the name, with " × 10^-e" when the labels are scaled.
std::string YAxisTitle(const CPlotDisplay& display, int exponent);

// Draws the plot area's background and frame, gridlines, the axes and the titles. The geometry
// must have been laid out.
void DrawFrame(CCanvas& canvas, const CPlotGeometry& geometry);
