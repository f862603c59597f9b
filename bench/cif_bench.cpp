#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "crystal/crystal.h"
#include "files/cif_file.h"

namespace {

// A CIF of about `megabytes` MB: a triclinic cell whose atom loop repeats a handful of sites
// with standard uncertainties, as database files write them.
std::string LargeCif(double megabytes) {
  std::string text =
      "data_large\n_cell_length_a 30.123(4)\n_cell_length_b 31.456(5)\n_cell_length_c 32.789(6)\n"
      "_cell_angle_alpha 90\n_cell_angle_beta 101.5(2)\n_cell_angle_gamma 90\n"
      "_symmetry_space_group_name_H-M 'P 1 21/c 1'\nloop_\n_symmetry_equiv_pos_as_xyz\n"
      "'x, y, z'\n'-x, y+1/2, -z+1/2'\n'-x, -y, -z'\n'x, -y-1/2, z-1/2'\n"
      "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
      "_atom_site_fract_z\n_atom_site_U_iso_or_equiv\n_atom_site_occupancy\n";
  const char* elements[] = {"Si", "O", "Al", "Na", "Ca", "Fe"};
  for (long long i = 0; text.size() < megabytes * 1e6; ++i) {
    char line[160];
    std::snprintf(line, sizeof line, "%s%lld %s 0.%05lld(3) 0.%05lld(4) 0.%05lld(3) 0.0%03lld(2) 1\n",
                  elements[i % 6], i, elements[i % 6], (i * 7919) % 100000, (i * 104729) % 100000,
                  (i * 1299709) % 100000, 100 + i % 800);
    text += line;
  }
  return text;
}

void BM_ReadCif(benchmark::State& state) {
  const std::string text = LargeCif(5.0);
  size_t atoms = 0;
  for (auto _ : state) {
    CTSCrystal crystal;
    ReadCifCrystal(text, crystal);
    atoms = crystal.sites.size();
    benchmark::DoNotOptimize(crystal.sites.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["sites"] = static_cast<double>(atoms);
}
BENCHMARK(BM_ReadCif)->Unit(benchmark::kMillisecond);

// The file named by TESSALINE_BENCH_CIF read into a crystal as the application reads it (file
// opened and mapped each time), so that another program can be timed on the very same file;
// bench/cif_vs_gemmi.py writes the file and compares. Registered only when the variable is set.
void BM_ReadCifFile(benchmark::State& state, const std::string& path) {
  size_t atoms = 0, bytes = 0;
  for (auto _ : state) {
    CTSCIFFile file;
    if (!file.Open(path, CFile::kModeRead)) {
      state.SkipWithError(("cannot open " + path).c_str());
      return;
    }
    bytes = static_cast<size_t>(file.GetLength());
    CTSCrystal crystal;
    file.ReadCrystal(crystal);
    atoms = crystal.sites.size();
    benchmark::DoNotOptimize(crystal.sites.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["sites"] = static_cast<double>(atoms);
}
const bool kReadCifFileRegistered = [] {
  if (const char* path = std::getenv("TESSALINE_BENCH_CIF"); path && *path)
    benchmark::RegisterBenchmark("BM_ReadCifFile", BM_ReadCifFile, std::string(path))
        ->Unit(benchmark::kMillisecond);
  return true;
}();

// Sites with an anisotropic loop that names them again by label: the join of the two loops
// must grow with the number of sites, not with its square. Arg: sites.
void BM_ReadCifWithAnisotropicLoop(benchmark::State& state) {
  const long long sites = state.range(0);
  std::string text =
      "data_x\n_cell_length_a 80\n_cell_length_b 81\n_cell_length_c "
      "82\n_symmetry_space_group_name_H-M 'P 1'\n"
      "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
  for (long long i = 0; i < sites; ++i)
    text += "C" + std::to_string(i) + " 0." + std::to_string(10000 + i % 90000) + " 0.5 0.5\n";
  text +=
      "loop_\n_atom_site_aniso_label\n_atom_site_aniso_U_11\n_atom_site_aniso_U_22\n_atom_site_"
      "aniso_U_33\n"
      "_atom_site_aniso_U_12\n_atom_site_aniso_U_13\n_atom_site_aniso_U_23\n";
  for (long long i = 0; i < sites; ++i) text += "C" + std::to_string(i) + " 0.02 0.02 0.02 0 0 0\n";
  for (auto _ : state) {
    CTSCrystal crystal;
    ReadCifCrystal(text, crystal);
    benchmark::DoNotOptimize(crystal.sites.data());
  }
  state.SetComplexityN(sites);
}
BENCHMARK(BM_ReadCifWithAnisotropicLoop)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

}  // namespace
