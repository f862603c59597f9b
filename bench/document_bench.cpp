// The document's own cost: adding many crystal files (reading and calculating them is the work;
// the document should add nothing visible), and a hint told to ten views over a session of a
// thousand patterns.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "document/tess_doc.h"
#include "files/crystal_files.h"
#include "patterns/crystal_pattern.h"
#include "patterns/observed_pattern.h"

namespace {

class CQuietUi : public CDocumentUi {
 public:
  void Alert(const CVHException&) override {}
  bool Confirm(const CVHException&) override { return true; }
};

class CCountingView : public CDocumentView {
 public:
  void OnUpdate(const CUpdateHint&) override { ++heard; }
  size_t heard = 0;
};

std::vector<std::string> TestCifs(size_t count) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(TESSALINE_SOURCE_DIR "/tests/data"))
    if (entry.path().extension() == ".cif") files.push_back(entry.path().string());
  std::vector<std::string> paths;
  for (size_t i = 0; i < count; ++i) paths.push_back(files[i % files.size()]);
  return paths;
}

// The anchor: the same files read and calculated without a document.
void BM_ReadAndCalculateCrystalFiles(benchmark::State& state) {
  const std::vector<std::string> paths = TestCifs(static_cast<size_t>(state.range(0)));
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  for (auto _ : state)
    for (const std::string& path : paths)
      for (CCrystalFile& file : ReadCrystalFiles(path)) {
        CTSCrystalPattern pattern(CTSPattern::BuiltInDefaults{});
        *pattern.Crystal() = std::move(file.crystal);
        pattern.Recalculate(plotSpec);
        benchmark::DoNotOptimize(pattern.GetProfile(plotSpec).size());
      }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadAndCalculateCrystalFiles)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_DocumentAddsCrystalFiles(benchmark::State& state) {
  const std::vector<std::string> paths = TestCifs(static_cast<size_t>(state.range(0)));
  CQuietUi ui;
  for (auto _ : state) {
    CTessDoc document(ui);
    document.AddFiles(paths);
    benchmark::DoNotOptimize(document.Patterns().size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DocumentAddsCrystalFiles)->Arg(200)->Unit(benchmark::kMillisecond);

// The list-changed hint, with the document's own reaction (the observed patterns' scaling).
void BM_DocumentBroadcastsToTenViews(benchmark::State& state) {
  CQuietUi ui;
  CTessDoc document(ui);
  CPatternList patterns;
  for (int i = 0; i < 1000; ++i) {
    auto pattern = std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{});
    pattern->SetData({{1.0, 1.0}, {2.0, 2.0}});
    patterns.push_back(pattern);
  }
  document.InsertPatterns(patterns, 0);
  std::vector<CCountingView> views(10);
  for (auto& view : views) document.AddView(view);
  for (auto _ : state) document.Broadcast(HintCode::kPatternListChanged);
  for (auto& view : views) document.RemoveView(view);
}
BENCHMARK(BM_DocumentBroadcastsToTenViews)->Unit(benchmark::kMicrosecond);

}  // namespace
