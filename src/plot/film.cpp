#include "plot/film.h"

#include <algorithm>
#include <cmath>

#include "plot/film_ramp.h"
#include "plot/plotted_curves.h"

double FilmShade(const CPlotDisplay& display, double intensity) {
  const double y = std::max(0.0, intensity);
  double t = display.logarithmicY ? std::log10(y + 1.0) / std::log10(display.yMax + 1.0)
                                  : y / display.yMax;
  if (!(t >= 0.0)) t = 0.0;  // an empty range gives 0/0
  t = std::min(t, 1.0);
  return std::pow(t, 1.0 / display.filmGamma);
}

void DrawFilm(CCanvas& canvas, const CPlotGeometry& geometry,
              const std::vector<CTSPattern*>& patterns, const CPlotSpec& plotSpec) {
  const CPlotDisplay& display = geometry.Display();
  const CRectF& area = geometry.Area();
  const std::vector<CColour> ramp = FilmRamp(display.filmType);
  canvas.FillRect(area, RampColour(ramp, 0.0));
  if (patterns.empty()) return;

  const int columns = static_cast<int>(area.width);
  const float bandHeight = area.height / static_cast<float>(patterns.size());
  const CPen separator{0xFF000000, PlotMetrics::ScaledSize(1.0f)};
  for (size_t band = 0; band < patterns.size(); ++band) {
    CTSPattern& pattern = *patterns[band];
    const CProfile& points = CurvePoints(pattern, plotSpec);
    const CPlacement placement = PlacementOf(pattern);
    const float top = std::floor(area.top + bandHeight * static_cast<float>(band));
    const float bottom = std::floor(area.top + bandHeight * static_cast<float>(band + 1));
    CCurveWalker curve(points);
    for (int column = 0; column < columns; ++column) {
      const double x = display.xMin + column / geometry.XScale();
      const double y = curve.At(x - placement.xOffset) * placement.yFactor + placement.yOffset;
      canvas.FillRect({area.left + static_cast<float>(column), top + 1, 1.0f, bottom - top - 2},
                      RampColour(ramp, FilmShade(display, y)));
    }
    if (bottom < std::floor(area.Bottom()))
      canvas.DrawLine({area.left, bottom}, {area.Right(), bottom}, separator);
  }
}
