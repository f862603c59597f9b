#include "plot/difference_curve.h"

#include <algorithm>

#include "patterns/pattern.h"
#include "plot/curves.h"
#include "plot/plotted_curves.h"

std::optional<CProfile> DifferenceCurve(const std::vector<CTSPattern*>& plotted,
                                        const CPlotSpec& plotSpec) {
  const auto observed = std::ranges::find_if(
      plotted, [](CTSPattern* p) { return p->GetKind() == CTSPattern::kObserved; });
  const auto calculated = std::ranges::find_if(
      plotted, [](CTSPattern* p) { return p->GetKind() != CTSPattern::kObserved; });
  if (observed == plotted.end() || calculated == plotted.end()) return std::nullopt;
  const CProfile& data = CurvePoints(**observed, plotSpec);
  const CProfile& model = CurvePoints(**calculated, plotSpec);
  if (model.empty()) return std::nullopt;
  const CPlacement dataPlacement = PlacementOf(**observed),
                   modelPlacement = PlacementOf(**calculated);
  CProfile difference;
  difference.reserve(data.size());
  CCurveWalker modelCurve(model);
  for (const CProfilePoint& point : data) {
    const double x = point.x + dataPlacement.xOffset;
    const double modelX = x - modelPlacement.xOffset;
    if (modelX < model.front().x || modelX > model.back().x) continue;
    const double calculatedY =
        modelCurve.At(modelX) * modelPlacement.yFactor + modelPlacement.yOffset;
    difference.push_back(
        {x, point.y * dataPlacement.yFactor + dataPlacement.yOffset - calculatedY});
  }
  return difference;
}

std::pair<double, double> DifferenceSpan(const CProfile& difference, double xMin, double xMax) {
  double lowest = 0.0, highest = 0.0;
  bool any = false;
  for (const CProfilePoint& point : difference) {
    if (point.x < xMin || point.x > xMax) continue;
    lowest = any ? std::min(lowest, point.y) : point.y;
    highest = any ? std::max(highest, point.y) : point.y;
    any = true;
  }
  return {lowest, highest};
}

CCurvePen DifferencePen() {
  return CCurvePen{0xFF808080, 1.0f};
}

void DrawDifference(CCanvas& canvas, const CPlotGeometry& geometry, const CProfile& difference,
                    float top) {
  const CPlotDisplay& display = geometry.Display();
  const double highest = DifferenceSpan(difference, display.xMin, display.xMax).second;
  // Moved so that its highest point lands on `top`: the offset in data units of that pixel row.
  const double offset = geometry.PixelToData({0.0f, top}).second - highest;
  const float zero = geometry.YToPixel(offset);
  // Dark enough to be seen over the gridlines: the misfit is read against it.
  canvas.DrawLine({geometry.Area().left, zero}, {geometry.Area().Right(), zero},
                  CPen{0xFF606060, PlotMetrics::ScaledSize(0.75f), CDash::kDashed});
  DrawCurve(canvas, geometry, difference, CPlacement{0.0, 1.0, offset}, DifferencePen());
}
