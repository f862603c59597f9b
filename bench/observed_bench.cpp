// Observed data at the size of a long, finely stepped scan: reading a two-column file of a
// million points, then smoothing it, subtracting a background and resampling it onto the grid.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "files/observed_files.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_spec.h"

namespace {

constexpr size_t kPoints = 1'000'000;

// A scan from 5 to 125 degrees: peaks on a sloping background, with a third column of errors.
// Written once per run and removed at exit.
const std::string& ScanFile() {
  static const std::string path = [] {
    std::string name = (std::filesystem::temp_directory_path() / "tessaline-scan-XXXXXX.xye").string();
    const int descriptor = ::mkstemps(name.data(), 4);
    if (descriptor < 0) std::abort();
    ::close(descriptor);
    std::FILE* out = std::fopen(name.c_str(), "w");
    std::fprintf(out, "# 2theta intensity error\n");
    for (size_t i = 0; i < kPoints; ++i) {
      const double x = 5.0 + 120.0 * static_cast<double>(i) / kPoints;
      const double y = 200.0 - x + 1000.0 * std::exp(-std::pow(std::fmod(x, 7.0) - 3.5, 2) * 50.0);
      std::fprintf(out, "%.5f %.2f %.2f\n", x, y, std::sqrt(y));
    }
    std::fclose(out);
    static std::string removed;
    removed = name;
    std::atexit([] { std::filesystem::remove(removed); });
    return name;
  }();
  return path;
}

const CTSObservedPattern& Scan() {
  static const std::shared_ptr<CTSObservedPattern> pattern = ReadObservedPattern(ScanFile());
  return *pattern;
}

void BM_ReadMillionPointFile(benchmark::State& state) {
  const std::string& path = ScanFile();
  for (auto _ : state) benchmark::DoNotOptimize(ReadObservedFile(path).data.points.data());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
  state.counters["points"] = static_cast<double>(kPoints);
}
BENCHMARK(BM_ReadMillionPointFile)->Unit(benchmark::kMillisecond);

// Arg: control points of the background (2 is the reset's flat background).
void BM_SmoothAndBackground(benchmark::State& state) {
  CTSObservedPattern pattern = Scan();
  pattern.Smoothing().smooth = true;
  pattern.Smoothing().radius = 3;
  pattern.SetBackgroundInUse(true);
  pattern.ResetBackground();
  while (pattern.ControlPoints().size() < static_cast<size_t>(state.range(0))) pattern.AddControlPoint();
  for (auto _ : state) {
    pattern.Smooth();
    benchmark::DoNotOptimize(pattern.SubtractedPoints().data());
  }
  state.counters["points"] = static_cast<double>(kPoints);
}
BENCHMARK(BM_SmoothAndBackground)->ArgName("controls")->Arg(2)->Arg(20)->Unit(benchmark::kMillisecond);

// The default grid of 72000 points over 0 to 180 degrees.
void BM_ResampleOntoGrid(benchmark::State& state) {
  CTSObservedPattern pattern = Scan();
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  for (auto _ : state) {
    pattern.ClearProfile();
    benchmark::DoNotOptimize(pattern.GetProfile(plotSpec).data());
  }
}
BENCHMARK(BM_ResampleOntoGrid)->Unit(benchmark::kMillisecond);

}  // namespace
