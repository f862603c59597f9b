#include "plot/plot_renderer.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_spec.h"
#include "plot/axes.h"
#include "plot/curves.h"
#include "plot/difference_curve.h"
#include "plot/film.h"
#include "plot/legend.h"
#include "plot/peak_labels.h"
#include "plot/plotted_curves.h"
#include "plot/reflexion_marks.h"

namespace {

using PlotMetrics::Scaled;
using PlotMetrics::ScaledSize;

bool HasLabels(const std::vector<CTSPattern*>& plotted, const CPlotOptions& options,
               const CPlotDisplay& display) {
  return std::ranges::any_of(plotted, [&](const CTSPattern* pattern) {
    return pattern->GetKind() == CTSPattern::kCrystal &&
           (pattern->Labels().show || options.labelsPerPattern > 0 || display.peakLabels);
  });
}

// Rows and difference need the pixel of intensity 0 inside a linear axis.
bool DrawsBelowBaseline(const CPlotDisplay& display) {
  return !display.logarithmicY && !display.film;
}

// Pixels under the baseline that the reflexion rows take, gaps included.
float RowsHeight(const std::vector<CTSPattern*>& plotted, const CPlotOptions& options) {
  if (!options.reflexionRows) return 0.0f;
  const size_t phases = TickedPhases(plotted).size();
  return phases == 0
             ? 0.0f
             : Scaled(PlotMetrics::kTickGap) + ReflexionRowHeight() * static_cast<float>(phases);
}

void DrawObserved(CCanvas& canvas, const CPlotGeometry& geometry, CTSObservedPattern& pattern,
                  const CPlotSpec& spec) {
  const CPlacement placement = PlacementOf(pattern);
  DrawCurve(canvas, geometry, CurvePoints(pattern, spec), placement, CurvePenOf(pattern));
  const auto drawSecondary = [&](const CProfile& points, const CMarkedCurveStyle& style) {
    DrawCurve(canvas, geometry, points, placement,
              CCurvePen{style.colour, style.lineWidth, style.lineStyle, style.markerStyle,
                        style.markerSize});
  };
  if (pattern.Smoothing().smooth && pattern.Smoothing().overlay)
    drawSecondary(pattern.SmoothedPoints(), pattern.SmoothedStyle());

  // The background curve while it is being edited, with its control points on the selected
  // pattern so that they can be picked up.
  if (pattern.ControlPoints().empty() ||
      (pattern.BackgroundInUse() && !pattern.BackgroundPreview()))
    return;
  const CBackgroundStyle& style = pattern.BackgroundStyle();
  DrawCurve(canvas, geometry, pattern.BackgroundCurve().Samples(), placement,
            CCurvePen{style.colour, style.lineWidth, style.lineStyle});
  if (!pattern.Selected()) return;
  const CMarkedCurveStyle& points = style.controlPoints;
  const float size = ScaledSize(std::max(points.markerSize, 3.0f) * 2);
  const auto pixel = [&](const CBackgroundHandle& handle) {
    return geometry.DataToPixel(handle.x + placement.xOffset,
                                handle.y * placement.yFactor + placement.yOffset);
  };
  for (const CBackgroundControlPoint& point : pattern.ControlPoints()) {
    const CPointF anchor = pixel(point.anchor);
    for (const CBackgroundHandle* handle : {&point.in, &point.out}) {
      canvas.DrawLine(anchor, pixel(*handle), CPen{points.colour, ScaledSize(points.lineWidth)});
      DrawMarker(canvas, pixel(*handle), VHTypes::kMarkerCircle, size,
                 handle->selected ? 0xFFD00000 : points.colour);
    }
    DrawMarker(canvas, anchor, VHTypes::kMarkerSquare, size,
               point.anchor.selected ? 0xFFD00000 : points.colour);
  }
}

void DrawGraph(CCanvas& canvas, const CPlotGeometry& geometry, const CPlotContent& content,
               const std::vector<CTSPattern*>& plotted) {
  const CPlotDisplay& display = geometry.Display();
  std::vector<CLegendEntry> legend = LegendEntries(plotted);
  canvas.SetClip(geometry.Area());
  if (DrawsBelowBaseline(display)) {
    if (content.options.reflexionRows) DrawReflexionRows(canvas, geometry, TickedPhases(plotted));
    if (content.options.difference)
      if (const std::optional<CProfile> difference = DifferenceCurve(plotted, content.plotSpec)) {
        DrawDifference(canvas, geometry, *difference,
                       geometry.YToPixel(0.0) + RowsHeight(plotted, content.options) +
                           Scaled(PlotMetrics::kTickGap));
        legend.push_back({"Difference", DifferencePen()});
      }
  }
  // Measured data first, so that the calculated curves are seen over them.
  for (CTSPattern* pattern : plotted)
    if (pattern->GetKind() == CTSPattern::kObserved)
      DrawObserved(canvas, geometry, static_cast<CTSObservedPattern&>(*pattern), content.plotSpec);
  // In list order: a mixture's components come after it and show each phase's share over the
  // sum.
  for (CTSPattern* pattern : plotted) {
    if (pattern->GetKind() == CTSPattern::kObserved) continue;
    const CPlacement placement = PlacementOf(*pattern);
    DrawCurve(canvas, geometry, CurvePoints(*pattern, content.plotSpec), placement,
              CurvePenOf(*pattern));
    DrawReflexionOverlay(canvas, geometry, *pattern,
                         pattern->LargestPlottedIntensity(0.0, 0.0) - pattern->YOffset());
  }
  canvas.SetClip(std::nullopt);

  std::vector<CRectF> obstacles;
  if (display.legend) {
    const CRectF box = LegendBox(canvas, geometry, legend);
    if (box.width > 0.0f) obstacles.push_back(box);
  }
  DrawPeakLabels(canvas, geometry,
                 PlacePeakLabels(canvas, geometry, plotted, content.plotSpec,
                                 content.options.labelsPerPattern, obstacles));
  if (display.legend) DrawLegend(canvas, geometry, legend);
}

}  // namespace

bool DrawPlot(CCanvas& canvas, CPlotGeometry& geometry, CRectF surface,
              const CPlotContent& content) {
  if (!geometry.Layout(canvas, surface)) return false;
  DrawFrame(canvas, geometry);
  DrawData(canvas, geometry, content);
  return true;
}

void DrawData(CCanvas& canvas, const CPlotGeometry& geometry, const CPlotContent& content) {
  const std::vector<CTSPattern*> plotted = PlottedPatterns(content.patterns);
  if (geometry.Display().film) {
    DrawFilm(canvas, geometry, plotted, content.plotSpec);
    canvas.DrawRect(geometry.Area(), CPen{0xFF000000, ScaledSize(1.0f)});
    return;
  }
  DrawGraph(canvas, geometry, content, plotted);
}

void FitXRange(const CPatternList& patterns, const CPlotSpec& plotSpec, CPlotDisplay& display,
               TSXFit fit) {
  const double computedLow = plotSpec.XMin(), computedHigh = plotSpec.XMax();
  display.xMin = computedLow;
  display.xMax = computedHigh;
  double low = HUGE_VAL, high = -HUGE_VAL;
  if (fit == TSXFit::kDataFirst) {
    for (const auto& pattern : patterns) {
      if (pattern->GetKind() != CTSPattern::kObserved || !pattern->Plotted()) continue;
      low = std::min(low, pattern->NaturalXMin(plotSpec.AxisType()) + pattern->XOffset());
      high = std::max(high, pattern->NaturalXMax(plotSpec.AxisType()) + pattern->XOffset());
    }
    if (low < high) {
      display.xMin = low, display.xMax = high;
      return;
    }
  }
  // The computed range is the whole axis (d up to 100 Å, 2θ to 180°), while the peaks of a
  // crystal take a part of it, on some axes a small one: show where the peaks are.
  constexpr double kVisibleShare = 1e-3;  // of the strongest peak
  low = HUGE_VAL, high = -HUGE_VAL;
  for (const CTSPattern* phase : TickedPhases(PlottedPatterns(patterns)))
    for (const auto& reflexion : phase->Crystal()->reflexions) {
      const double x = reflexion->position + phase->XOffset();
      if (reflexion->relativeIntensity < kVisibleShare || x < computedLow || x > computedHigh)
        continue;
      low = std::min(low, x), high = std::max(high, x);
    }
  if (!(low <= high)) return;
  // Room for the outer peaks' flanks and for their labels.
  const double margin =
      high > low ? 0.05 * (high - low) : 0.01 * (computedHigh - computedLow);  // one peak
  display.xMin = std::max(computedLow, low - margin);
  display.xMax = std::min(computedHigh, high + margin);
}

void FitIntensityRange(CCanvas& canvas, CPlotGeometry& geometry, CRectF surface,
                       const CPlotContent& content) {
  CPlotDisplay& display = geometry.Display();
  const std::vector<CTSPattern*> plotted = PlottedPatterns(content.patterns);
  double top = 0.0;
  for (CTSPattern* pattern : plotted) {
    CurvePoints(*pattern, content.plotSpec);
    top = std::max(top, pattern->LargestPlottedIntensity(display.xMin, display.xMax));
  }
  if (!(top > 0.0)) top = 1.0;
  // Headroom for the labels over the strongest peaks, or a little air.
  display.yMax = top * (HasLabels(plotted, content.options, display) ? 1.15 : 1.05);
  display.yMin = 0.0;
  if (!DrawsBelowBaseline(display) || !geometry.Layout(canvas, surface)) return;

  // Room under the baseline: fixed pixels for the rows and gaps, and the difference's own span
  // at the intensity scale. With H the plot height and s = H / (yMax - yMin), the room below 0
  // is -yMin * s = fixed + span * s.
  float fixed = RowsHeight(plotted, content.options);
  double span = 0.0;
  if (content.options.difference)
    if (const std::optional<CProfile> difference = DifferenceCurve(plotted, content.plotSpec)) {
      const auto [lowest, highest] = DifferenceSpan(*difference, display.xMin, display.xMax);
      span = highest - lowest;
      fixed += 2 * Scaled(PlotMetrics::kTickGap);
    }
  const double height = std::floor(geometry.Area().height);
  if (fixed <= 0.0f && span <= 0.0) return;
  if (height <= 2.0 * fixed) return;  // no room: the curves keep the whole height
  display.yMin = -(fixed * display.yMax + span * height) / (height - fixed);
}
