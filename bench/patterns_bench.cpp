#include <benchmark/benchmark.h>
#include <omp.h>

#include "diffraction/reflexion.h"
#include "files/crystal_files.h"
#include "files/profile_file.h"
#include "patterns/crystal_pattern.h"
#include "patterns/mixture_pattern.h"
#include "patterns/plot_spec.h"

namespace {

// A crystal pattern of a file of the examples, calculated once.
CTSCrystalPattern Calculated(const char* file, const CPlotSpec& plotSpec) {
  CTSCrystalPattern pattern{CTSPattern::BuiltInDefaults{}};
  *pattern.Crystal() = ReadCrystalFile(std::string(TESSALINE_SOURCE_DIR "/") + file).crystal;
  pattern.Recalculate(plotSpec);
  return pattern;
}

// About 10000 reflexions between 0 and 180 degrees: quartz with its cell enlarged six times
// along a and b and three times along c, which reaches the count limit of 10000.
CTSCrystalPattern TenThousandReflexions(const CPlotSpec& plotSpec) {
  CTSCrystalPattern pattern{CTSPattern::BuiltInDefaults{}};
  CTSCrystal& crystal = *pattern.Crystal();
  crystal = ReadCrystalFile(TESSALINE_SOURCE_DIR "/examples/quartz.cif").crystal;
  crystal.a = crystal.b = 6 * 4.9134;
  crystal.c = 3 * 5.4052;
  pattern.Recalculate(plotSpec);
  return pattern;
}

// Positions, widths and the sampled profile of a calculated pattern: what every change of the
// axis, range, shape or widths costs.
void Profile(benchmark::State& state, CTSCrystalPattern& pattern, const CPlotSpec& plotSpec) {
  omp_set_num_threads(1);
  for (auto _ : state) {
    pattern.ClearProfile();
    benchmark::DoNotOptimize(pattern.GetProfile(plotSpec).data());
  }
  state.counters["reflexions"] = static_cast<double>(pattern.Crystal()->reflexions.size());
  state.counters["points"] = static_cast<double>(plotSpec.ProfilePoints());
}

void BM_ProfileTenThousandReflexions(benchmark::State& state) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetProfileType(static_cast<VHTypes::TSProfileType>(state.range(0)));
  static CTSCrystalPattern pattern = TenThousandReflexions(CPlotSpec::BuiltIn());
  Profile(state, pattern, plotSpec);
}
BENCHMARK(BM_ProfileTenThousandReflexions)
    ->ArgName("shape")
    ->Arg(VHTypes::kProfileDelta)
    ->Arg(VHTypes::kProfileLorentzian)
    ->Arg(VHTypes::kProfileGaussian)
    ->Arg(VHTypes::kProfilePseudoVoigt)
    ->Unit(benchmark::kMillisecond);

void BM_ProfileQuartz(benchmark::State& state) {
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  static CTSCrystalPattern pattern = Calculated("examples/quartz.cif", plotSpec);
  Profile(state, pattern, plotSpec);
}
BENCHMARK(BM_ProfileQuartz)->Unit(benchmark::kMillisecond);

// The whole pipeline of the simulate command, in process: reading the CIF, reflexions and
// intensities, the profile and the text of the profile file. bench/pymatgen_compare.py times
// pymatgen's peak list for the same files.
void BM_SimulateInProcess(benchmark::State& state, const char* file) {
  omp_set_num_threads(1);
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  for (auto _ : state) {
    CTSCrystalPattern pattern = Calculated(file, plotSpec);
    pattern.GetProfile(plotSpec);
    benchmark::DoNotOptimize(CTSProfileFile::ProfileText(pattern, plotSpec).size());
  }
}
BENCHMARK_CAPTURE(BM_SimulateInProcess, quartz, "examples/quartz.cif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SimulateInProcess, corundum, "tests/data/corundum.cif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SimulateInProcess, silicon, "tests/data/silicon.cif")->Unit(benchmark::kMillisecond);

// The profile of a mixture of ten calculated components at 72000 points, the components' own
// profiles already cached: what a change of a fraction or an offset costs.
void BM_MixtureOfTenComponents(benchmark::State& state) {
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  CPatternList components;
  const char* files[] = {"examples/quartz.cif", "tests/data/corundum.cif", "tests/data/silicon.cif",
                         "tests/data/halite.cif", "tests/data/rutile.cif"};
  for (int i = 0; i < 10; ++i) {
    auto pattern = std::make_shared<CTSCrystalPattern>(Calculated(files[i % 5], plotSpec));
    pattern->SetXOffset(0.01 * i);
    pattern->GetProfile(plotSpec);
    components.push_back(pattern);
  }
  const auto mixture = NewMixture(components, {});
  for (auto _ : state) {
    mixture->ClearProfile();
    benchmark::DoNotOptimize(mixture->GetProfile(plotSpec).data());
  }
  state.counters["points"] = static_cast<double>(plotSpec.ProfilePoints());
}
BENCHMARK(BM_MixtureOfTenComponents)->Unit(benchmark::kMicrosecond);

}  // namespace
