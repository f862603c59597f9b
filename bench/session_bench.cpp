// Saving and opening sessions: 20 crystal patterns of the largest test structures with their
// reflexions, and one observed pattern of a million points. Bytes per second are those of the
// file. Arg 0 writes to the temporary folder (a save with its sync to the disc), arg 1 to
// /dev/shm where there is one (the format's own cost).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "files/crystal_files.h"
#include "files/session_file.h"
#include "patterns/crystal_pattern.h"
#include "patterns/observed_pattern.h"

namespace {

constexpr size_t kCrystalPatterns = 20;
constexpr size_t kObservedPoints = 1'000'000;

std::string SessionPath(bool memory, const char* name) {
  const std::filesystem::path folder = memory && std::filesystem::is_directory("/dev/shm")
                                           ? "/dev/shm"
                                           : std::filesystem::temp_directory_path();
  return (folder / ("tessaline-bench-" + std::to_string(::getpid()) + "-" + name + ".diffract"))
      .string();
}

// The test structures with the most reflexions, calculated once, taken in turn.
const CSession& CrystalSession() {
  static const CSession session = [] {
    CSession s;
    std::vector<std::shared_ptr<CTSCrystalPattern>> structures;
    for (const auto& entry :
         std::filesystem::directory_iterator(TESSALINE_SOURCE_DIR "/tests/data")) {
      if (entry.path().extension() != ".cif" && entry.path().extension() != ".vhtx") continue;
      auto pattern = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
      *pattern->Crystal() = ReadCrystalFile(entry.path().string()).crystal;
      pattern->SetTitle(entry.path().stem().string());
      pattern->Recalculate(s.plotSpec);
      structures.push_back(pattern);
    }
    std::sort(structures.begin(), structures.end(), [](const auto& a, const auto& b) {
      return a->Crystal()->reflexions.size() > b->Crystal()->reflexions.size();
    });
    structures.resize(std::min<size_t>(structures.size(), 3));
    for (size_t i = 0; i < kCrystalPatterns; ++i)
      s.patterns.push_back(structures[i % structures.size()]->Clone());
    return s;
  }();
  return session;
}

const CSession& ObservedSession() {
  static const CSession session = [] {
    CSession s;
    auto pattern = std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{});
    CProfile points(kObservedPoints);
    for (size_t i = 0; i < points.size(); ++i) {
      const double x = 5.0 + 1e-4 * static_cast<double>(i);
      points[i] = {x, 100.0 + 50.0 * std::sin(x)};
    }
    pattern->SetData(std::move(points));
    s.patterns.push_back(pattern);
    return s;
  }();
  return session;
}

void Write(benchmark::State& state, const CSession& session, const char* name) {
  const std::string path = SessionPath(state.range(0) != 0, name);
  for (auto _ : state) WriteSessionFile(path, session);
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
  std::filesystem::remove(path);
}

void Read(benchmark::State& state, const CSession& session, const char* name) {
  const std::string path = SessionPath(state.range(0) != 0, name);
  WriteSessionFile(path, session);
  size_t patterns = 0;
  for (auto _ : state) patterns += ReadSessionFile(path).patterns.size();
  benchmark::DoNotOptimize(patterns);
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
  size_t reflexions = 0;
  for (const auto& pattern : session.patterns)
    if (pattern->Crystal()) reflexions += pattern->Crystal()->reflexions.size();
  if (reflexions) state.counters["reflexions"] = static_cast<double>(reflexions);
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  std::filesystem::remove(path);
}

void BM_SessionWriteCrystals(benchmark::State& state) {
  Write(state, CrystalSession(), "crystals");
}
void BM_SessionReadCrystals(benchmark::State& state) {
  Read(state, CrystalSession(), "crystals");
}
void BM_SessionWriteObserved(benchmark::State& state) {
  Write(state, ObservedSession(), "observed");
}
void BM_SessionReadObserved(benchmark::State& state) {
  Read(state, ObservedSession(), "observed");
}

// Real time: a save waits for the disc.
BENCHMARK(BM_SessionWriteCrystals)
    ->ArgName("shm")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SessionReadCrystals)
    ->ArgName("shm")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SessionWriteObserved)
    ->ArgName("shm")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SessionReadObserved)
    ->ArgName("shm")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
