#include "plot/marker_hit_test.h"

#include <cmath>

#include "patterns/observed_pattern.h"

namespace {

// The search rectangle in a pattern's own data units.
struct CSearchBox {
  double xFrom, xTo, yFrom, yTo;
  bool Contains(const CBackgroundHandle& handle) const {
    return handle.x >= xFrom && handle.x <= xTo && handle.y >= yFrom && handle.y <= yTo;
  }
};

}  // namespace

bool CMarkerHitTest::Test(const CPlotGeometry& geometry, const CPatternList& patterns,
                          CPointF pointer, bool newSearch) {
  const auto [x, y] = geometry.PixelToData(pointer);
  const double tolerance = PlotMetrics::Scaled(PlotMetrics::kHitTolerance);
  const double tx = tolerance / geometry.XScale();
  double yFrom = 0.0, yTo = 0.0;
  if (geometry.Display().logarithmicY) {
    const double reach = tolerance / geometry.YScale();
    yFrom = std::pow(10.0, std::log10(y) - reach);
    yTo = std::pow(10.0, std::log10(y) + reach);
  } else {
    const double ty = tolerance / geometry.YScale();
    yFrom = y - ty;
    yTo = y + ty;
  }

  std::vector<CTSObservedPattern*> observed;
  ForEachPattern(patterns, [&observed](CTSPattern& pattern) {
    if (pattern.GetKind() == CTSPattern::kObserved)
      observed.push_back(static_cast<CTSObservedPattern*>(&pattern));
  });
  if (newSearch) {
    for (CTSObservedPattern* pattern : observed) pattern->ClearHandleSelection();
    m_current.reset();
  }

  for (CTSObservedPattern* pattern : observed) {
    if (!pattern->Plotted() || !pattern->Selected() || pattern->ControlPoints().empty()) continue;
    const double factor = pattern->YScale() * pattern->MixtureFraction();
    if (factor == 0.0) continue;
    double lower = (yFrom - pattern->YOffset()) / factor,
           upper = (yTo - pattern->YOffset()) / factor;
    if (lower > upper) std::swap(lower, upper);
    const CSearchBox box{x - tx - pattern->XOffset(), x + tx - pattern->XOffset(), lower, upper};
    const CControlPoints& points = pattern->ControlPoints();
    for (size_t point = 0; point < points.size(); ++point)
      for (const CHandleRole role : {CHandleRole::kAnchor, CHandleRole::kIn, CHandleRole::kOut}) {
        if (!box.Contains(points[point].Handle(role))) continue;
        if (newSearch) {
          pattern->SelectHandle(point, role);
          m_current = CMarkerHit{pattern, point, role};
        }
        return true;
      }
  }
  return false;
}
