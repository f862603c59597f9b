// The film display: each plotted pattern a horizontal band whose colour at every pixel column
// encodes the intensity there, as on a Debye-Scherrer film.
#pragma once

#include <vector>

#include "plot/canvas.h"
#include "plot/plot_geometry.h"

class CPlotSpec;
class CTSPattern;

// The film's colour parameter for an intensity: y / y max (or the logarithmic ratio), clamped
// to 0..1 and raised to 1 / gamma.
double FilmShade(const CPlotDisplay& display, double intensity);

// Fills the plot area with the ramp's colour at 0 and draws one band per pattern, one colour per
// pixel column.
void DrawFilm(CCanvas& canvas, const CPlotGeometry& geometry,
              const std::vector<CTSPattern*>& patterns, const CPlotSpec& plotSpec);
