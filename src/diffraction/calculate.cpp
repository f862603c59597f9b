#include "diffraction/calculate.h"

#include <algorithm>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "diffraction/reflexion.h"
#include "diffraction/reflexion_generator.h"
#include "diffraction/structure_factors.h"
#include "radiation/radiation_spec.h"

bool CalculateReflexions(CTSCrystal& crystal, const CRadiationSpec& radiation) {
  crystal.reflexions.clear();
  crystal.UpdateCell();
  if (crystal.symmetryOperators.empty()) BuildOperators(crystal);
  const auto& ops = crystal.symmetryOperators;
  crystal.centrosymmetric =
      std::any_of(ops.begin(), ops.end(), [](const CTSSymOp& op) { return op.IsInversion(); });
  CheckScatteringFactors(crystal);
  if (!GenerateReflexions(crystal, ReflexionLimits(radiation))) return false;
  CalculateIntensities(crystal, radiation);
  DropZeroIntensities(crystal);
  NormaliseIntensities(crystal);
  SetReflexionPositions(crystal.reflexions, radiation);
  return true;
}

void SetReflexionPositions(const std::vector<std::shared_ptr<CTSReflexion>>& reflexions,
                           const CRadiationSpec& radiation) {
  for (const auto& reflexion : reflexions)
    reflexion->position = radiation.ReflexionPosition(reflexion->d);
}
