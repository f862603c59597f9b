#include <benchmark/benchmark.h>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"

namespace {

// Expanding general positions of the highest-symmetry group: 192 images per site, each
// checked against the positions already listed.
void BM_GeneratePositionsFm3m(benchmark::State& state) {
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = "F m -3 m";
  for (int i = 0; i < state.range(0); ++i) {
    CTSSite site;
    site.x = 0.013 * (i + 1), site.y = 0.017 * (i + 2), site.z = 0.019 * (i + 3);
    crystal.sites.push_back(site);
  }
  BuildOperators(crystal);
  for (auto _ : state) {
    crystal.GeneratePositions();
    benchmark::DoNotOptimize(crystal.sites.front().positions.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GeneratePositionsFm3m)->Arg(1)->Arg(50);

void BM_LookUpEverySymbol(benchmark::State& state) {
  for (auto _ : state) {
    int origin = 0;
    for (const CSpaceGroupRow& row : SpaceGroupRows())
      benchmark::DoNotOptimize(LookUpSpaceGroup(row.fullSymbol, origin));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(SpaceGroupRows().size()));
}
BENCHMARK(BM_LookUpEverySymbol);

}  // namespace
