#include "plot/stacking.h"

#include <algorithm>

#include "patterns/observed_pattern.h"
#include "plot/plotted_curves.h"

void StackPatterns(const CPatternList& patterns, CPlotDisplay& display) {
  const std::vector<CTSPattern*> plotted = PlottedPatterns(patterns);
  double height = 0.0;
  for (CTSPattern* pattern : plotted) {
    pattern->SetYOffset(0.0);
    height += pattern->LargestPlottedIntensity(display.xMin, display.xMax) -
              pattern->SmallestPlottedIntensity(display.xMin, display.xMax);
    pattern->SetYOffset(-height);
  }
  for (CTSPattern* pattern : plotted) pattern->SetYOffset(pattern->YOffset() + height);
  display.yMin = 0.0;
  display.yMax = height;
}

void CollapsePatterns(const CPatternList& patterns, CPlotDisplay& display) {
  double highest = 0.0;
  bool any = false;
  ForEachPattern(patterns, [&](CTSPattern& pattern) {
    pattern.SetYOffset(0.0);
    const double largest = pattern.LargestPlottedIntensity(display.xMin, display.xMax);
    highest = any ? std::max(highest, largest) : largest;
    any = true;
  });
  display.yMin = 0.0;
  display.yMax = highest;
}

void ScaleToData(CTSPattern& calculated, const CTSObservedPattern& observed,
                 const CPlotSpec& plotSpec) {
  const CProfile& model = CurvePoints(calculated, plotSpec);
  if (model.size() < 2) return;
  const CPlacement modelPlacement = PlacementOf(calculated), dataPlacement = PlacementOf(observed);
  // Sums of the straight-line fit of the data's plotted values on the model's unscaled ones.
  double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  CCurveWalker curve(model);
  for (const CProfilePoint& point : observed.ProfilePoints(false)) {
    const double x = point.x + dataPlacement.xOffset - modelPlacement.xOffset;
    if (x < model.front().x || x > model.back().x) continue;
    const double m = curve.At(x) * calculated.MixtureFraction();
    const double y = point.y * dataPlacement.yFactor + dataPlacement.yOffset;
    n += 1, sx += m, sy += y, sxx += m * m, sxy += m * y;
  }
  const double spread = n * sxx - sx * sx;
  if (n < 2 || !(spread > 0.0)) return;
  const double scale = std::max(0.0, (n * sxy - sx * sy) / spread);
  const double offset = (sy - scale * sx) / n;
  if (CPatternList* components = calculated.Components()) {
    // The mixture's curve is the sum of its components' scaled curves (mixtures do not nest).
    for (const std::shared_ptr<CTSPattern>& component : *components) {
      component->SetYScale(component->YScale() * scale);
      component->SetYOffset(offset);
    }
    calculated.ClearProfile();
    calculated.SetYScale(1.0);
  } else {
    calculated.SetYScale(scale / calculated.MixtureFraction());
  }
  calculated.SetYOffset(offset);
}
