// The desktop application's answers: from nothing to the first plotted pattern, and a new
// wavelength for a cell of 1000 atoms (every plotted pattern calculated anew, then drawn). The
// windows run on the offscreen platform; drawing is forced with a grab of the plot.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>

#include "app/status.h"
#include "crystal/crystal.h"
#include "gui/app/main_window.h"
#include "gui/app/plot_widget.h"

namespace {

// The application lives to the end of the process and is never destroyed: among the exit
// handlers, Qt's own statics are gone before it, and its destructor crashed on them.
void EnsureApplication() {
  [[maybe_unused]] static QApplication* application = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "tessaline_bench";
    static char* argv[] = {name, nullptr};
    RegisterStatusThread();
    return new QApplication(argc, argv);
  }();
}

// F m -3 m with 1000 positions in a 25 Angstrom cell: five general sites (192 each) and the
// special sites 24d, 8c, 4a and 4b, Cu K-alpha-1 over 2-theta 0-180.
constexpr const char* kThousandAtomCif = R"(data_thousand
_cell_length_a 25
_cell_length_b 25
_cell_length_c 25
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_symmetry_space_group_name_H-M 'F m -3 m'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_U_iso_or_equiv
O1 O 0.031 0.117 0.209 0.01
Si1 Si 0.102 0.160 0.238 0.01
Al1 Al 0.173 0.203 0.267 0.01
Mg1 Mg 0.244 0.246 0.296 0.01
Ca1 Ca 0.315 0.289 0.325 0.01
O2 O 0.0 0.25 0.25 0.01
Na1 Na 0.25 0.25 0.25 0.01
Ba1 Ba 0.0 0.0 0.0 0.005
Cl1 Cl 0.5 0.5 0.5 0.01
)";

void StartupToFirstPlot(benchmark::State& state) {
  EnsureApplication();
  const QString quartz = QStringLiteral(TESSALINE_SOURCE_DIR "/examples/quartz.cif");
  for (auto _ : state) {
    CMainWindow window;
    window.show();
    window.OpenFiles({quartz});
    benchmark::DoNotOptimize(window.Plot().grab());
    window.Document().SetModified(false);
  }
}
BENCHMARK(StartupToFirstPlot)->Unit(benchmark::kMillisecond);

void WavelengthChangeThousandAtoms(benchmark::State& state) {
  EnsureApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("thousand.cif"));
  std::ofstream(path.toStdString()) << kThousandAtomCif;
  CMainWindow window;
  window.resize(1400, 900);
  window.show();
  window.OpenFiles({path});
  auto* wavelength = window.findChild<QDoubleSpinBox*>();
  double lambda = 1.5406;
  for (auto _ : state) {
    lambda = lambda == 1.5406 ? 1.5405 : 1.5406;
    wavelength->setValue(lambda);
    benchmark::DoNotOptimize(window.Plot().grab());
  }
  state.counters["reflexions"] =
      static_cast<double>(window.Document().Patterns().front()->Crystal()->reflexions.size());
  window.Document().SetModified(false);
}
BENCHMARK(WavelengthChangeThousandAtoms)->Unit(benchmark::kMillisecond);

}  // namespace
