#include <benchmark/benchmark.h>
#include <omp.h>
#include <sys/resource.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "crystal/thermal.h"
#include "diffraction/calculate.h"
#include "diffraction/intensity_factors.h"
#include "diffraction/phase_sum.h"
#include "diffraction/reflexion.h"
#include "diffraction/reflexion_generator.h"
#include "diffraction/scattering_table.h"
#include "diffraction/structure_factors.h"
#include "files/crystal_files.h"
#include "patterns/plot_spec.h"

namespace {

CTSSite Site(const char* symbol, double x, double y, double z, double u) {
  CTSSite site;
  site.x = x, site.y = y, site.z = z;
  CTSAtom atom;
  atom.symbol = symbol;
  MatchScatteringFactor(atom);
  site.atoms.push_back(atom);
  site.displacement = std::make_unique<CTSThermalEllipsoid>(u);
  return site;
}

CTSCrystal Crystal(const char* group, double a, double b, double c, double gamma, std::vector<CTSSite> sites) {
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = group;
  crystal.a = a, crystal.b = b, crystal.c = c, crystal.gamma = gamma;
  crystal.sites = std::move(sites);
  BuildOperators(crystal);
  crystal.GeneratePositions();
  return crystal;
}

// (a) Alpha quartz with the built-in plot specification.
CTSCrystal Quartz() {
  std::vector<CTSSite> sites;
  sites.push_back(Site("Si", 0.4697, 0.0, 2.0 / 3.0, 0.006));
  sites.push_back(Site("O", 0.4133, 0.2672, 0.1188 + 2.0 / 3.0, 0.01));
  return Crystal("P 32 2 1", 4.9134, 4.9134, 5.4052, 120.0, std::move(sites));
}

// (c) F m -3 m with 1000 positions in the cell: five general sites (192 each) and the special
// sites 24d, 8c, 4a and 4b.
CTSCrystal CubicThousand() {
  std::vector<CTSSite> sites;
  const char* elements[] = {"O", "Si", "Al", "Mg", "Ca"};
  for (int i = 0; i < 5; ++i)
    sites.push_back(Site(elements[i], 0.031 + 0.071 * i, 0.117 + 0.043 * i, 0.209 + 0.029 * i, 0.01));
  sites.push_back(Site("O", 0.0, 0.25, 0.25, 0.01));
  sites.push_back(Site("Na", 0.25, 0.25, 0.25, 0.01));
  sites.push_back(Site("Ba", 0.0, 0.0, 0.0, 0.005));
  sites.push_back(Site("Cl", 0.5, 0.5, 0.5, 0.01));
  return Crystal("F m -3 m", 25.0, 25.0, 25.0, 90.0, std::move(sites));
}

// (d) P 1 with 2000 atoms of five elements at random positions, in a 30 Angstrom cell.
CTSCrystal TriclinicTwoThousand() {
  std::mt19937 random(2000);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const char* elements[] = {"O", "Si", "Al", "Fe", "C"};
  std::vector<CTSSite> sites;
  for (int i = 0; i < 2000; ++i)
    sites.push_back(Site(elements[i % 5], unit(random), unit(random), unit(random), 0.005 + 0.005 * (i % 3)));
  return Crystal("P 1", 30.0, 31.0, 29.0, 90.0, std::move(sites));
}

size_t Positions(const CTSCrystal& crystal) {
  size_t count = 0;
  for (const CTSSite& site : crystal.sites) count += site.positions.size();
  return count;
}

// A full calculation (generation, merging, intensities, positions) on 1 or 2 threads.
void Calculate(benchmark::State& state, const CTSCrystal& original, const CPlotSpec& plotSpec) {
  const int threads = static_cast<int>(state.range(0));
  omp_set_num_threads(threads);
  CTSCrystal crystal = original;
  size_t reflexions = 0;
  for (auto _ : state) {
    crystal = original;
    if (!CalculateReflexions(crystal, plotSpec)) state.SkipWithError("no reflexions");
    reflexions = crystal.reflexions.size();
  }
  const double terms = static_cast<double>(reflexions) * static_cast<double>(Positions(original));
  state.counters["reflexions"] = static_cast<double>(reflexions);
  state.counters["positions"] = static_cast<double>(Positions(original));
  state.counters["terms_per_core"] =
      benchmark::Counter(terms / threads, benchmark::Counter::kIsIterationInvariantRate);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_CalculateQuartz(benchmark::State& state) {
  static const CTSCrystal crystal = Quartz();
  Calculate(state, crystal, CPlotSpec::BuiltIn());
}
BENCHMARK(BM_CalculateQuartz)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_CalculateCubicThousandPositions(benchmark::State& state) {
  static const CTSCrystal crystal = CubicThousand();
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetAxisType(VHTypes::kAxisTimeOfFlight);
  plotSpec.SetDMin(0.325);
  plotSpec.SetRestrictMaxNumRefs(false);
  Calculate(state, crystal, plotSpec);
}
BENCHMARK(BM_CalculateCubicThousandPositions)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_CalculateTriclinicTwoThousandAtoms(benchmark::State& state) {
  static const CTSCrystal crystal = TriclinicTwoThousand();
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetDMin(1.5);
  plotSpec.SetRestrictMaxNumRefs(false);
  Calculate(state, crystal, plotSpec);
}
BENCHMARK(BM_CalculateTriclinicTwoThousandAtoms)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// (e) The largest public structures, read from the shared data folder: bannisterite (9009232,
// 956 atoms in the cell, 13 691 reflexions to d = 0.77 Angstrom) and biachellaite (9014915, 941
// atoms, 23 495 reflexions), X-rays at 1.5405 Angstrom on a 2-theta axis without a count cap.
std::optional<CTSCrystal> PublicCrystal(const std::string& name) {
  const auto path = std::filesystem::path(TESSALINE_SHARED_DATA) / "cif" / (name + ".cif");
  if (!std::filesystem::exists(path)) return std::nullopt;
  return ReadCrystalFile(path.string()).crystal;
}

void CalculatePublic(benchmark::State& state, const std::optional<CTSCrystal>& crystal) {
  if (!crystal) {
    state.SkipWithError("public structures not found at " TESSALINE_SHARED_DATA);
    return;
  }
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetRestrictMaxNumRefs(false);
  Calculate(state, *crystal, plotSpec);
}

void BM_CalculateBannisterite(benchmark::State& state) {
  static const std::optional<CTSCrystal> crystal = PublicCrystal("9009232");
  CalculatePublic(state, crystal);
}
BENCHMARK(BM_CalculateBannisterite)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CalculateBiachellaite(benchmark::State& state) {
  static const std::optional<CTSCrystal> crystal = PublicCrystal("9014915");
  CalculatePublic(state, crystal);
}
BENCHMARK(BM_CalculateBiachellaite)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The structure-factor and intensity loop alone, over the reflexions of a finished list.
void Intensities(benchmark::State& state, const CTSCrystal& original, const CPlotSpec& plotSpec) {
  const int threads = static_cast<int>(state.range(0));
  omp_set_num_threads(threads);
  CTSCrystal crystal = original;
  if (!CalculateReflexions(crystal, plotSpec)) state.SkipWithError("no reflexions");
  for (auto _ : state) CalculateIntensities(crystal, plotSpec);
  const double terms = static_cast<double>(crystal.reflexions.size()) * static_cast<double>(Positions(original));
  state.counters["terms_per_core"] =
      benchmark::Counter(terms / threads, benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(PhaseSumInstructionSet());
}

// The structure factors alone on one thread, over the reflexions of a finished list: the
// vectorised sums along rows of reflexions (argument 1, labelled with the instruction set the
// dispatch chose) against the term-by-term oracle (argument 0).
void StructureFactors(benchmark::State& state, const CTSCrystal& original,
                      const CPlotSpec& plotSpec) {
  const bool vectorised = state.range(0) != 0;
  CTSCrystal crystal = original;
  if (!CalculateReflexions(crystal, plotSpec)) state.SkipWithError("no reflexions");
  const CStructureFactorSum sum(crystal, ScatteringKindOf(plotSpec.SimulationType()));
  CStructureFactorSum::CScratch scratch = sum.NewScratch();
  std::vector<CTSReflexion*> reflexions;
  for (const auto& r : crystal.reflexions) reflexions.push_back(r.get());
  const std::vector<CReflexionRow> rows = ReflexionRows(reflexions);
  std::pair<double, double> f[CPhaseRow::kMaxCount];
  for (auto _ : state) {
    if (vectorised) {
      for (const CReflexionRow& row : rows) sum.Evaluate(row, scratch, f);
      benchmark::DoNotOptimize(f);
    } else {
      for (const CTSReflexion* r : reflexions)
        benchmark::DoNotOptimize(sum.EvaluateByTerms(*r, scratch));
    }
  }
  const double terms =
      static_cast<double>(crystal.reflexions.size()) * static_cast<double>(sum.PositionCount());
  state.counters["terms_per_core"] =
      benchmark::Counter(terms, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["reflexions_per_row"] =
      static_cast<double>(reflexions.size()) / static_cast<double>(rows.size());
  state.SetLabel(vectorised ? PhaseSumInstructionSet() : "term by term");
}

void BM_StructureFactorsCubicThousandPositions(benchmark::State& state) {
  static const CTSCrystal crystal = CubicThousand();
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetAxisType(VHTypes::kAxisTimeOfFlight);
  plotSpec.SetDMin(0.325);
  plotSpec.SetRestrictMaxNumRefs(false);
  StructureFactors(state, crystal, plotSpec);
}
BENCHMARK(BM_StructureFactorsCubicThousandPositions)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_StructureFactorsTriclinicTwoThousandAtoms(benchmark::State& state) {
  static const CTSCrystal crystal = TriclinicTwoThousand();
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetDMin(1.5);
  plotSpec.SetRestrictMaxNumRefs(false);
  StructureFactors(state, crystal, plotSpec);
}
BENCHMARK(BM_StructureFactorsTriclinicTwoThousandAtoms)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// Every site anisotropic, each image weighted by its own turned displacement factor.
void BM_StructureFactorsBannisterite(benchmark::State& state) {
  static const std::optional<CTSCrystal> crystal = PublicCrystal("9009232");
  if (!crystal) {
    state.SkipWithError("public structures not found at " TESSALINE_SHARED_DATA);
    return;
  }
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetRestrictMaxNumRefs(false);
  StructureFactors(state, *crystal, plotSpec);
}
BENCHMARK(BM_StructureFactorsBannisterite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_IntensitiesCubicThousandPositions(benchmark::State& state) {
  static const CTSCrystal crystal = CubicThousand();
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetAxisType(VHTypes::kAxisTimeOfFlight);
  plotSpec.SetDMin(0.325);
  plotSpec.SetRestrictMaxNumRefs(false);
  Intensities(state, crystal, plotSpec);
}
BENCHMARK(BM_IntensitiesCubicThousandPositions)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_IntensitiesTriclinicTwoThousandAtoms(benchmark::State& state) {
  static const CTSCrystal crystal = TriclinicTwoThousand();
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetDMin(1.5);
  plotSpec.SetRestrictMaxNumRefs(false);
  Intensities(state, crystal, plotSpec);
}
BENCHMARK(BM_IntensitiesTriclinicTwoThousandAtoms)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Anisotropic displacement turned with each image against one tensor for every image (the
// legacy rules), on bannisterite, whose 38 sites are all anisotropic; one thread.
void BM_IntensitiesBannisteriteByRules(benchmark::State& state) {
  const bool legacy = state.range(0) != 0;
  const CLegacyRulesScope rules(legacy);
  const std::optional<CTSCrystal> crystal = PublicCrystal("9009232");
  if (!crystal) {
    state.SkipWithError("public structures not found at " TESSALINE_SHARED_DATA);
    return;
  }
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetRestrictMaxNumRefs(false);
  omp_set_num_threads(1);
  CTSCrystal calculated = *crystal;
  if (!CalculateReflexions(calculated, plotSpec)) state.SkipWithError("no reflexions");
  for (auto _ : state) CalculateIntensities(calculated, plotSpec);
  state.SetLabel(legacy ? "legacy rules" : "physical");
}
BENCHMARK(BM_IntensitiesBannisteriteByRules)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
