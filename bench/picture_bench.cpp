// The plot through QPainter: ten patterns of 72000 points drawn into a 1600 x 1000 image, and the
// same written as a PNG file (encoding and the atomic write included).
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <filesystem>

#include "gui/painter_canvas.h"
#include "gui/plot_picture.h"
#include "patterns/plot_spec.h"
#include "plot/output_scale.h"
#include "plot/plot_renderer.h"
#include "plotted_patterns.h"

namespace {

const CPictureSize kSize{1600, 1000, 192};

void BM_PlotPictureIntoImage(benchmark::State& state) {
  const CPatternList patterns = TenPlottedPatterns();
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  // A first picture makes the application and loads the fonts, as a running program has.
  WritePicture((std::filesystem::temp_directory_path() / "tessaline-bench-warm.png").string(),
               CPictureFormat::kPng, {64, 64, 96}, [](CCanvas&, CRectF) {});
  QImage image(kSize.width, kSize.height, QImage::Format_ARGB32_Premultiplied);
  const COutputScaleScope scale(kSize.dpi);
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter painter(&image);
    CPainterCanvas canvas(painter);
    CPlotGeometry geometry(BenchmarkDisplay());
    DrawPlot(canvas, geometry,
             {0, 0, static_cast<float>(kSize.width), static_cast<float>(kSize.height)},
             {patterns, plotSpec});
  }
}
BENCHMARK(BM_PlotPictureIntoImage)->Unit(benchmark::kMillisecond);

void BM_PlotPictureToPngFile(benchmark::State& state) {
  const CPatternList patterns = TenPlottedPatterns();
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  const std::string path =
      (std::filesystem::temp_directory_path() / "tessaline-bench-plot.png").string();
  for (auto _ : state)
    WritePicture(path, CPictureFormat::kPng, kSize, [&](CCanvas& canvas, CRectF surface) {
      CPlotGeometry geometry(BenchmarkDisplay());
      DrawPlot(canvas, geometry, surface, {patterns, plotSpec});
    });
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  std::filesystem::remove(path);
}
BENCHMARK(BM_PlotPictureToPngFile)->Unit(benchmark::kMillisecond);

}  // namespace
