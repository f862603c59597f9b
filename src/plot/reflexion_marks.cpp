#include "plot/reflexion_marks.h"

#include <algorithm>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "patterns/crystal_pattern.h"
#include "plot/curves.h"
#include "plot/plotted_curves.h"

namespace {

constexpr float kRowHeight = 12.0f;  // screen pixels
constexpr float kTickShare = 0.7f;   // of the row height

// Calls mark(px) at the pixel column of every reflexion of the crystal pattern within the
// visible range.
template <class Mark>
void ForEachVisibleReflexion(const CPlotGeometry& geometry, const CTSPattern& pattern, Mark mark) {
  const CTSCrystal* crystal = pattern.Crystal();
  if (crystal == nullptr) return;
  const CPlotDisplay& display = geometry.Display();
  for (const auto& reflexion : crystal->reflexions) {
    const double x = reflexion->position + pattern.XOffset();
    if (x >= display.xMin && x <= display.xMax) mark(geometry.XToPixel(x), *reflexion);
  }
}

}  // namespace

std::vector<const CTSPattern*> TickedPhases(const std::vector<CTSPattern*>& plotted) {
  std::vector<const CTSPattern*> phases;
  const auto add = [&phases](const CTSPattern& pattern) {
    if (pattern.GetKind() == CTSPattern::kCrystal &&
        std::ranges::find(phases, &pattern) == phases.end())
      phases.push_back(&pattern);
  };
  for (CTSPattern* pattern : plotted) {
    add(*pattern);
    if (const CPatternList* components = pattern->Components())
      ForEachPattern(*components, [&add](CTSPattern& component) { add(component); });
  }
  return phases;
}

float ReflexionRowHeight() {
  return PlotMetrics::ScaledSize(kRowHeight);
}

void DrawReflexionRows(CCanvas& canvas, const CPlotGeometry& geometry,
                       const std::vector<const CTSPattern*>& phases) {
  const float row = ReflexionRowHeight();
  float top = geometry.YToPixel(0.0) + PlotMetrics::Scaled(PlotMetrics::kTickGap);
  for (const CTSPattern* phase : phases) {
    const CPen pen{phase->Style().colour, PlotMetrics::ScaledSize(1.0f)};
    const float from = top + (1.0f - kTickShare) * row / 2, to = from + kTickShare * row;
    ForEachVisibleReflexion(geometry, *phase, [&](float px, const CTSReflexion&) {
      canvas.DrawLine({px, from}, {px, to}, pen);
    });
    top += row;
  }
}

void DrawReflexionOverlay(CCanvas& canvas, const CPlotGeometry& geometry, const CTSPattern& pattern,
                          double height) {
  const auto* crystalPattern = dynamic_cast<const CTSCrystalPattern*>(&pattern);
  if (crystalPattern == nullptr || !crystalPattern->Overlay().show) return;
  const COverlayStyle& style = crystalPattern->Overlay();
  const CPen pen{style.colour, PlotMetrics::ScaledSize(style.lineWidth), DashOf(style.lineStyle)};
  const float base = geometry.YToPixel(pattern.YOffset());
  ForEachVisibleReflexion(geometry, pattern, [&](float px, const CTSReflexion& reflexion) {
    const float top = geometry.YToPixel(pattern.YOffset() + reflexion.relativeIntensity * height);
    canvas.DrawLine({px, base}, {px, top}, pen);
  });
}
