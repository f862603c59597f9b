// The cost of drawing the plot itself, without a painter: ten patterns of 72000 points laid out
// and drawn on the recording canvas at 1600 x 1000 pixels, as a graph and as a film.
#include <benchmark/benchmark.h>

#include "patterns/plot_spec.h"
#include "plot/plot_renderer.h"
#include "plot/recording_canvas.h"
#include "plotted_patterns.h"

namespace {

void BM_DrawPlotOnRecordingCanvas(benchmark::State& state) {
  const CPatternList patterns = TenPlottedPatterns();
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  CPlotDisplay display = BenchmarkDisplay();
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
