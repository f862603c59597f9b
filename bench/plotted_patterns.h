// Ten plotted powder patterns of 72000 points each, shared by the plot benchmarks: a few hundred
// Gaussian peaks per pattern over a flat background, heights spread over three decades as in a
// real pattern, at positions from a fixed pseudo-random sequence so every run draws the same.
#pragma once

#include <cmath>
#include <cstdint>

#include "patterns/observed_pattern.h"
#include "patterns/plot_display.h"

inline CPatternList TenPlottedPatterns() {
  constexpr size_t kPoints = 72000, kPeaks = 300;
  constexpr double kStep = 180.0 / kPoints, kSigma = 0.04;
  uint64_t state = 0x9E3779B97F4A7C15u;
  auto uniform = [&state] {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<double>(state >> 11) * 0x1.0p-53;
  };
  CPatternList patterns;
  for (int p = 0; p < 10; ++p) {
    CProfile points(kPoints);
    for (size_t i = 0; i < kPoints; ++i) points[i] = {static_cast<double>(i) * kStep, 10.0};
    for (size_t peak = 0; peak < kPeaks; ++peak) {
      const double centre = 180.0 * uniform(), height = std::pow(10.0, 3.0 * uniform());
      const auto first = static_cast<size_t>(std::max(0.0, (centre - 6 * kSigma) / kStep));
      const auto last = std::min(kPoints, static_cast<size_t>((centre + 6 * kSigma) / kStep));
      for (size_t i = first; i < last; ++i) {
        const double offset = (points[i].x - centre) / kSigma;
        points[i].y += height * std::exp(-0.5 * offset * offset);
      }
    }
    auto pattern = std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{});
    pattern->SetData(std::move(points));
    pattern->SetPlotted(true);
    pattern->Style().colour = 0xFF000000u | static_cast<uint32_t>(p * 0x151515);
    patterns.push_back(pattern);
  }
  return patterns;
}

// The 2θ range the benchmarks show, with the intensity axis over the tallest peaks.
inline CPlotDisplay BenchmarkDisplay() {
  CPlotDisplay display;
  display.xMin = 5.0;
  display.xMax = 175.0;
  display.yMax = 1100.0;
  display.xAxisName = "2θ";
  display.xAxisUnit = "°";
  display.intensityName = "Intensity";
  return display;
}
