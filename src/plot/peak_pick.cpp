#include "plot/peak_pick.h"

#include <cmath>
#include <functional>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "errors/exception.h"
#include "patterns/plot_spec.h"
#include "plot/value_formats.h"

namespace {

void Visit(const CPatternList& patterns, bool holderPlotted,
           const std::function<void(const std::shared_ptr<CTSPattern>&)>& visit) {
  for (const auto& pattern : patterns) {
    const bool plotted = holderPlotted || pattern->Plotted();
    if (plotted) visit(pattern);
    if (const CPatternList* components = pattern->Components()) Visit(*components, plotted, visit);
  }
}

}  // namespace

std::optional<CPickedPeak> PickPeak(const CPatternList& patterns, const CPlotGeometry& geometry,
                                    CPointF pointer) {
  if (!geometry.Area().Contains(pointer)) return std::nullopt;
  const float tolerance = PlotMetrics::Scaled(PlotMetrics::kHitTolerance);
  std::optional<CPickedPeak> best;
  Visit(patterns, false, [&](const std::shared_ptr<CTSPattern>& pattern) {
    const CTSCrystal* crystal = pattern->Crystal();
    if (!crystal || pattern->GetKind() != CTSPattern::kCrystal) return;
    for (const auto& reflexion : crystal->reflexions) {
      const float x = geometry.XToPixel(reflexion->position + pattern->XOffset());
      if (std::fabs(x - pointer.x) > tolerance) continue;
      if (!best || reflexion->relativeIntensity > best->reflexion->relativeIntensity)
        best = CPickedPeak{pattern, reflexion};
    }
  });
  return best;
}

std::string PeakTip(const CPickedPeak& peak, const CPlotSpec& plotSpec) {
  const CTSReflexion& r = *peak.reflexion;
  return Formatted("%s\n(%s)\nd = %s\n%s = %s\nI = %s", peak.pattern->Title(),
                   FormatMiller(r.h, r.k, r.l), FormatAngstrom(r.d), plotSpec.XAxisTitle(),
                   FormatXValue(r.position, plotSpec.XAxisUnit()),
                   FormatPercent(r.relativeIntensity));
}
