// Labels over the peaks of crystal patterns: what each says (as the pattern's label options
// choose) and where it stands. Labels are placed strongest first, each above its peak and moved
// inward at the plot's edges; one that would cover a label already placed, another's leader or
// a curve is turned upright, then raised over the curves or the labels in its way, and left out
// only when no such place is free, so labels never overlap.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "patterns/pattern.h"
#include "plot/canvas.h"
#include "plot/plot_geometry.h"

class CPlotSpec;

struct CPeakLabel {
  std::string text;
  CPointF peak;  // top of the peak on the curve
  CRectF box;    // the text's box, turned or not
  bool turned = false;
  CColour colour = 0xFF000000;
  const CTSPattern* pattern = nullptr;
};

// The label's text for a reflexion of `pattern`: the parts its label options ask for (hkl,
// d-spacing, phase name, relative intensity, position), separated by commas; hkl alone when
// none is asked for.
std::string PeakLabelText(const CTSPattern& pattern, const CTSReflexion& reflexion,
                          const CPlotSpec& plotSpec);

// The labels of the plotted crystal patterns within the visible range: those the pattern's
// options select, at most `perPattern` of each when it is positive (the strongest that find a
// place; one label for reflexions under the same peak). No label covers
// another or one of the `obstacles` (the legend).
std::vector<CPeakLabel> PlacePeakLabels(CCanvas& canvas, const CPlotGeometry& geometry,
                                        const std::vector<CTSPattern*>& plotted,
                                        const CPlotSpec& plotSpec, int perPattern,
                                        std::span<const CRectF> obstacles = {});

void DrawPeakLabels(CCanvas& canvas, const CPlotGeometry& geometry,
                    const std::vector<CPeakLabel>& labels);
