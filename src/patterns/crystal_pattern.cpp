#include "patterns/crystal_pattern.h"

#include "app/status.h"
#include "diffraction/calculate.h"
#include "diffraction/reflexion.h"
#include "patterns/plot_spec.h"
#include "patterns/transfer_image.h"

namespace {

// Crystal patterns are made empty for the binary crystal files, and from transfer images.
const CTSPattern::CRegistrar kRegistrar(
    CTSPattern::kCrystal, {1, 4, 6},
    [] { return std::shared_ptr<CTSPattern>(std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{})); },
    [](CTransferReader& reader) { return std::shared_ptr<CTSPattern>(std::make_shared<CTSCrystalPattern>(reader)); });

}  // namespace

CTSCrystalPattern::CTSCrystalPattern(BuiltInDefaults tag) : CTSPattern(tag, "New Crystal") { Labels().hkl = true; }

CTSCrystalPattern::CTSCrystalPattern(CTransferReader& reader) : CTSPattern(reader) {
  ReadCrystal(reader, m_crystal);
  m_overlay = reader.Read<COverlayStyle>();
}

std::shared_ptr<CTSPattern> CTSCrystalPattern::Clone() const {
  auto clone = std::make_shared<CTSCrystalPattern>(*this);
  // Profiles write positions and widths into the reflexions, so the clone gets its own.
  for (auto& reflexion : clone->m_crystal.reflexions) reflexion = std::make_shared<CTSReflexion>(*reflexion);
  return clone;
}

void CTSCrystalPattern::CalculateReflexions(const CPlotSpec& plotSpec) {
  // A crystal without reflexions in range is drawn as nothing; there is nothing to report.
  ::CalculateReflexions(m_crystal, plotSpec);
}

void CTSCrystalPattern::LabelsInRange(double xFrom, double xTo, CReflexionList& labels) const {
  labels.clear();
  if (Labels().show) LabelledReflexions(xFrom, xTo, labels);
}

void CTSCrystalPattern::LabelledReflexions(double xFrom, double xTo, CReflexionList& labels) const {
  labels.clear();
  const double from = xFrom - XOffset(), to = xTo - XOffset();
  const double threshold = Labels().threshold * 0.01;
  for (const auto& reflexion : m_crystal.reflexions)
    if (reflexion->position >= from && reflexion->position <= to && reflexion->relativeIntensity > threshold)
      labels.push_back(reflexion);
}

bool CTSCrystalPattern::HasReflexionsOrData() const { return !NeedsCalculation() && !m_crystal.reflexions.empty(); }

void CTSCrystalPattern::Recalculate(const CPlotSpec& plotSpec) {
  CalculateReflexions(plotSpec);
  ClearProfile();
  CTSPattern::Recalculate(plotSpec);
}

void CTSCrystalPattern::ComputeProfile(const CPlotSpec& plotSpec) {
  if (!ProfilePoints(false).empty() || m_crystal.reflexions.empty()) return;
  CStatus status("Generating profile for %s...", Title());
  SetReflexionPositions(m_crystal.reflexions, plotSpec);
  ProfilePoints(false) = VHProfile::BuildProfile(m_crystal, plotSpec);
}

size_t CTSCrystalPattern::WriteTransferImage(CTransferWriter& cursor) const {
  const size_t start = cursor.Position();
  CTSPattern::WriteTransferImage(cursor);
  WriteCrystal(cursor, m_crystal);
  cursor.Write(m_overlay);
  return cursor.Position() - start;
}

double CTSCrystalPattern::NaturalXMin(VHTypes::TSAxisType) const { return 0.0; }

double CTSCrystalPattern::NaturalXMax(VHTypes::TSAxisType axis) const { return VHTypes::DefaultAxisRange(axis).second; }
