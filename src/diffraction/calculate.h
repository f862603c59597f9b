// A crystal's calculate operation: from its structure and the radiation record to its
// finished reflexion list, with structure factors, intensities and x positions.
#pragma once

#include <memory>
#include <vector>

class CRadiationSpec;
class CTSCrystal;
struct CTSReflexion;

// Replaces the crystal's reflexion list: updates the cell, builds missing operators from the
// symbol, checks the scattering factors, generates the unique reflexions, computes their
// intensities (dropping those of zero intensity and scaling to the strongest) and sets their
// positions on the x axis. Returns false when there are no reflexions. A failure (scattering
// factors that cannot be matched, exhausted memory) is raised for the caller to report, so that
// the user learns why a pattern could not be calculated; the crystal then keeps the list it had
// reached.
bool CalculateReflexions(CTSCrystal& crystal, const CRadiationSpec& radiation);

// Sets every reflexion's x position from its d-spacing for the radiation's axis type.
void SetReflexionPositions(const std::vector<std::shared_ptr<CTSReflexion>>& reflexions,
                           const CRadiationSpec& radiation);
