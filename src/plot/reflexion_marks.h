// Marks at the reflexion positions of crystal patterns: rows of short ticks under the baseline,
// one row per phase in the phase's colour, as in a refinement plot; and the overlay, a stick
// per reflexion over the curve as high as its relative intensity.
#pragma once

#include <vector>

#include "plot/canvas.h"
#include "plot/plot_geometry.h"

class CTSPattern;

// The crystal patterns that get a row: the plotted ones and the crystals inside plotted
// mixtures, each once, in list order.
std::vector<const CTSPattern*> TickedPhases(const std::vector<CTSPattern*>& plotted);

// The height of one row of ticks in output pixels.
float ReflexionRowHeight();

// The rows, starting one tick gap below the pixel of intensity 0.
void DrawReflexionRows(CCanvas& canvas, const CPlotGeometry& geometry,
                       const std::vector<const CTSPattern*>& phases);

// Sticks at the reflexions of a crystal pattern whose overlay is shown, from its baseline up to
// its relative intensity times `height` (the curve's highest plotted intensity).
void DrawReflexionOverlay(CCanvas& canvas, const CPlotGeometry& geometry, const CTSPattern& pattern,
                          double height);
