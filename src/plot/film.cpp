#include "plot/film.h"

#include <algorithm>
#include <cmath>

#include "patterns/pattern.h"
#include "plot/film_ramp.h"
#include "plot/plotted_curves.h"

double FilmShade(const CPlotDisplay& display, double intensity) {
  const double y = std::max(0.0, intensity);
  double t = display.logarithmicY ? std::log10(y + 1.0) / std::log10(display.yMax + 1.0)
                                  : y / display.yMax;
  if (!(t >= 0.0)) t = 0.0;  // an empty range gives 0/0
  t = std::min(t, 1.0);
  return display.filmGamma == 1.0 ? t : std::pow(t, 1.0 / display.filmGamma);
}

void DrawFilm(CCanvas& canvas, const CPlotGeometry& geometry,
              const std::vector<CTSPattern*>& patterns, const CPlotSpec& plotSpec) {
  const CPlotDisplay& display = geometry.Display();
  const CRectF& area = geometry.Area();
  const std::vector<CColour> ramp = FilmRamp(display.filmType);
  canvas.FillRect(area, RampColour(ramp, 0.0));
  if (patterns.empty()) return;

  const int columns = static_cast<int>(area.width);
  // Columns on whole pixels, so that anti-aliasing does not blend each with its neighbours.
  const float left = std::floor(area.left);
  const float bandHeight = area.height / static_cast<float>(patterns.size());
  const CPen separator{0xFF000000, PlotMetrics::ScaledSize(1.0f)};
  for (size_t band = 0; band < patterns.size(); ++band) {
    CTSPattern& pattern = *patterns[band];
    const CProfile& points = CurvePoints(pattern, plotSpec);
    const CPlacement placement = PlacementOf(pattern);
    const float top = std::floor(area.top + bandHeight * static_cast<float>(band));
    const float bottom = std::floor(area.top + bandHeight * static_cast<float>(band + 1));
    // Each column shows the curve sampled where the column starts or, when a peak narrower than
    // a pixel lies inside the column, that peak's top, so that no line of the film vanishes.
    CCurveWalker curve(points);
    // Neighbouring columns often share a shade (between peaks); their colour is found once.
    double shade = -1.0;
    size_t inside = 0;
    CColour colour = 0;
    for (int column = 0; column < columns; ++column) {
      const double from = display.xMin + column / geometry.XScale() - placement.xOffset;
      const double to = from + 1.0 / geometry.XScale();
      double y = curve.At(from);
      for (; inside < points.size() && points[inside].x < to; ++inside)
        if (points[inside].x >= from) y = std::max(y, points[inside].y);
      const double columnShade = FilmShade(display, y * placement.yFactor + placement.yOffset);
      if (columnShade != shade) shade = columnShade, colour = RampColour(ramp, shade);
      canvas.FillRect({left + static_cast<float>(column), top + 1, 1.0f, bottom - top - 2}, colour);
    }
    // The band's name in its top left corner, on a light ground that every ramp leaves legible.
    const CFont font = geometry.LabelFont();
    const float pad = PlotMetrics::Scaled(PlotMetrics::kTickGap) * 2;
    const std::string name = pattern.DisplayName();
    const CSizeF text = canvas.MeasureText(name, font);
    if (text.height + 2 * pad < bottom - top) {
      canvas.FillRect({area.left + pad, top + pad, text.width + 2 * pad, text.height}, 0xC0FFFFFF);
      canvas.DrawText(name, {area.left + 2 * pad, top + pad + text.height / 2},
                      CTextAnchor::kLeftMiddle, font, display.textColour);
    }
    if (bottom < std::floor(area.Bottom()))
      canvas.DrawLine({area.left, bottom}, {area.Right(), bottom}, separator);
  }
}
