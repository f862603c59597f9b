// Patterns and plots the plot tests draw: the project's quartz, observed data of any shape, and
// a laid-out geometry on the recording canvas.
#pragma once

#include <memory>

#include "files/crystal_files.h"
#include "patterns/crystal_pattern.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_spec.h"
#include "plot/plot_geometry.h"
#include "plot/recording_canvas.h"
#include "support/data_files.h"

// A plotted crystal pattern of a test structure, calculated for `spec`.
inline std::shared_ptr<CTSCrystalPattern> PlottedCrystal(const char* file, const CPlotSpec& spec) {
  auto pattern = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
  *pattern->Crystal() = ReadCrystalFile(TestDataPath(file).string()).crystal;
  pattern->SetTitle(file);
  pattern->SetPlotted(true);
  pattern->Recalculate(spec);
  return pattern;
}

// A plotted observed pattern through the given points.
inline std::shared_ptr<CTSObservedPattern> PlottedData(CProfile points) {
  auto pattern = std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{});
  pattern->SetData(std::move(points));
  pattern->SetPlotted(true);
  return pattern;
}

// A display over x from..to and y 0..yMax.
inline CPlotDisplay DisplayOver(double xMin, double xMax, double yMax = 1.0) {
  CPlotDisplay display;
  display.xMin = xMin;
  display.xMax = xMax;
  display.yMax = yMax;
  display.intensityName = "Intensity";
  display.xAxisName = "2θ";
  display.xAxisUnit = "°";
  return display;
}

inline constexpr CRectF kSurface{0.0f, 0.0f, 800.0f, 500.0f};
