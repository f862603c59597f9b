// The whole plot on one canvas: the frame (axes, gridlines, titles), then the data: as a graph
// (curves, reflexion rows, difference curve, peak labels, legend) or as a film. Each pass lays
// the geometry out afresh.
#pragma once

#include "patterns/pattern.h"
#include "plot/canvas.h"
#include "plot/plot_geometry.h"

class CPlotSpec;

// What the graph adds beyond the patterns' own display options.
struct CPlotOptions {
  int labelsPerPattern = 0;    // at most this many labels per crystal pattern; 0: as options say
  bool reflexionRows = false;  // ticks at the reflexions, one row per phase, under the curves
  bool difference = false;     // observed minus calculated, under the rows
};

// The patterns to draw (the plotted ones at any depth) and the plot specification they were
// calculated for.
struct CPlotContent {
  const CPatternList& patterns;
  const CPlotSpec& plotSpec;
  CPlotOptions options{};
};

// Lays out the plot on `surface` and draws both passes; false (and nothing drawn) when the
// surface leaves no usable plot area.
bool DrawPlot(CCanvas& canvas, CPlotGeometry& geometry, CRectF surface,
              const CPlotContent& content);

// The data pass alone, over a geometry that has been laid out.
void DrawData(CCanvas& canvas, const CPlotGeometry& geometry, const CPlotContent& content);

// What the natural x range follows.
enum class TSXFit {
  kDataFirst,   // plotted observed data, else the peaks of the calculated patterns
  kCalculated,  // the calculated patterns alone (data read on another axis mean nothing here)
};

// The natural x range: where observed data are plotted the range they cover, since that is
// where there is something to compare; else the span of the plotted crystals' peaks with a
// margin, within the computed range; with neither the computed range.
void FitXRange(const CPatternList& patterns, const CPlotSpec& plotSpec, CPlotDisplay& display,
               TSXFit fit = TSXFit::kDataFirst);

// Sets the intensity range to show every plotted curve over the visible x range, with room
// above for labels and below (linear axis only) for reflexion rows and the difference curve.
void FitIntensityRange(CCanvas& canvas, CPlotGeometry& geometry, CRectF surface,
                       const CPlotContent& content);
