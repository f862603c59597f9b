// The cost of drawing the plot itself, without a painter: ten patterns of 72000 points laid out
// and drawn on the recording canvas at 1600 x 1000 pixels, as a graph and as a film.
#include <benchmark/benchmark.h>

#include <cmath>

#include "patterns/observed_pattern.h"
#include "patterns/plot_spec.h"
#include "plot/plot_renderer.h"
#include "plot/recording_canvas.h"

namespace {

// Ten plotted curves of 72000 points with a few hundred peaks each, already computed.
CPatternList TenCurves() {
  CPatternList patterns;
  for (int p = 0; p < 10; ++p) {
    CProfile points(72000);
    for (size_t i = 0; i < points.size(); ++i) {
      const double x = 180.0 * static_cast<double>(i) / static_cast<double>(points.size());
      points[i] = {x, 10.0 + 1000.0 * std::pow(std::sin(x * (3.0 + p)), 40.0)};
    }
    auto pattern = std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{});
    pattern->SetData(std::move(points));
    pattern->SetPlotted(true);
    pattern->Style().colour = 0xFF000000u | static_cast<uint32_t>(p * 0x151515);
    patterns.push_back(pattern);
  }
  return patterns;
}

void BM_DrawPlotOnRecordingCanvas(benchmark::State& state) {
  const CPatternList patterns = TenCurves();
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  CPlotDisplay display;
  display.xMin = 5.0;
  display.xMax = 175.0;
  display.yMax = 1100.0;
  display.film = state.range(0) != 0;
  CRecordingCanvas canvas;
  for (auto _ : state) {
    canvas.Clear();
    CPlotGeometry geometry(display);
    DrawPlot(canvas, geometry, {0, 0, 1600, 1000}, {patterns, plotSpec});
    benchmark::DoNotOptimize(canvas.Operations().data());
  }
  state.counters["operations"] = static_cast<double>(canvas.Operations().size());
}
BENCHMARK(BM_DrawPlotOnRecordingCanvas)->ArgName("film")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
