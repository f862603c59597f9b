// Curves on the plot: a pattern's points mapped to pixels, thinned to what a pixel column can
// show, and drawn as a line in its style, as markers, or both.
#pragma once

#include <span>
#include <vector>

#include "patterns/display_types.h"
#include "patterns/profile.h"
#include "plot/canvas.h"
#include "plot/plot_geometry.h"

// How one curve is drawn.
struct CCurvePen {
  CColour colour = 0xFF000000;
  float width = 1.0f;  // screen pixels
  VHTypes::TSLineStyle line = VHTypes::kLineSolid;
  VHTypes::TSMarkerStyle marker = VHTypes::kMarkerNone;
  float markerSize = 4.0f;  // screen pixels
};

// Where a curve's points are drawn: x + x offset, y * y factor + y offset.
struct CPlacement {
  double xOffset = 0.0;
  double yFactor = 1.0;
  double yOffset = 0.0;
};

// The pixels of `points` placed by `placement` within the visible x range, with one more point
// on each side so that the line reaches the edges.
std::vector<CPointF> VisiblePixels(const CPlotGeometry& geometry, const CProfile& points,
                                   const CPlacement& placement);

// The same pixels reduced to at most four per whole pixel column: the first, the lowest and the
// highest in the order they come, and the last. Drawing then follows the width of the picture
// rather than the number of points, and every peak keeps its full height. Only the kept points
// are mapped.
std::vector<CPointF> ReducedPixels(const CPlotGeometry& geometry, const CProfile& points,
                                   const CPlacement& placement);

// Draws the curve of `points` placed by `placement`, reduced per pixel column: its line and its
// markers.
void DrawCurve(CCanvas& canvas, const CPlotGeometry& geometry, const CProfile& points,
               const CPlacement& placement, const CCurvePen& pen);

// One marker centred on `at`.
void DrawMarker(CCanvas& canvas, CPointF at, VHTypes::TSMarkerStyle style, float size,
                CColour colour);

// The dash of a line style; nothing for kLineNone.
CDash DashOf(VHTypes::TSLineStyle style);
