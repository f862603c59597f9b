#include "diffraction/calculate.h"

#include <algorithm>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "diffraction/reflexion_generator.h"
#include "diffraction/structure_factors.h"
#include "patterns/plot_spec.h"

bool CalculateReflexions(CTSCrystal& crystal, const CPlotSpec& plotSpec) {
  try {
    crystal.reflexions.clear();
    crystal.UpdateCell();
    if (crystal.symmetryOperators.empty()) BuildOperators(crystal);
    const auto& ops = crystal.symmetryOperators;
    crystal.centrosymmetric =
        std::any_of(ops.begin(), ops.end(), [](const CTSSymOp& op) { return op.IsInversion(); });
    CheckScatteringFactors(crystal);
    if (!GenerateReflexions(crystal, ReflexionLimits(plotSpec))) return false;
    CalculateIntensities(crystal, plotSpec);
    DropZeroIntensities(crystal);
    NormaliseIntensities(crystal);
    plotSpec.SetPositions(crystal.reflexions);
    return true;
  } catch (...) {
    return false;
  }
}
