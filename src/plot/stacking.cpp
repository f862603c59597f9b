#include "plot/stacking.h"

#include <algorithm>

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
