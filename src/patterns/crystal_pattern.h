// The crystal pattern: a simulated powder pattern of one crystal structure. It owns its crystal,
// whose reflexion list is the first cached stage (rebuilt by Recalculate) and whose profile is
// the second (rebuilt on request after it was cleared).
#pragma once

#include "crystal/crystal.h"
#include "patterns/pattern.h"

// How the reflexion markers are drawn over the curve.
struct COverlayStyle {
  bool show = false;
  uint32_t colour = 0xFF000000;
  VHTypes::TSLineStyle lineStyle = VHTypes::kLineDashed;
  float lineWidth = 0.5f;
  friend bool operator==(const COverlayStyle&, const COverlayStyle&) = default;
};

class CTSCrystalPattern : public CTSPattern {
 public:
  // Title "New Crystal", labels showing hkl, an empty crystal.
  explicit CTSCrystalPattern(BuiltInDefaults);
  // Title "New Crystal", style, labels, overlay and the crystal's sample settings from the
  // preferences.
  explicit CTSCrystalPattern(const CPreferences& preferences);
  CTSCrystalPattern(const CTSCrystalPattern&) = default;
  // The rest of a transfer image after the kind code.
  explicit CTSCrystalPattern(CTransferReader& reader);

  std::shared_ptr<CTSPattern> Clone() const override;
  CTSCrystal* Crystal() override { return &m_crystal; }
  const CTSCrystal* Crystal() const override { return &m_crystal; }
  // Generates the reflexions with their intensities and positions; a crystal that yields none
  // is left with an empty list.
  void CalculateReflexions(const CPlotSpec& plotSpec) override;
  const char* ListIcon() const override { return "crystal"; }
  // With labels shown: every reflexion whose x position lies within [xFrom, xTo] shifted back by
  // the x offset and whose relative intensity exceeds the label threshold.
  void LabelsInRange(double xFrom, double xTo, CReflexionList& labels) const override;
  // The reflexions LabelsInRange gives with labels shown, whether they are shown or not.
  void LabelledReflexions(double xFrom, double xTo, CReflexionList& labels) const;
  bool ContainsCrystal() const override { return true; }
  // False while the pattern needs calculation, else whether it has reflexions.
  bool HasReflexionsOrData() const override;
  void Recalculate(const CPlotSpec& plotSpec) override;
  // Positions and widths of the reflexions for the plot specification, then the sampled profile,
  // under the status "Generating profile for %s...". Cached: nothing is done while the profile
  // is not empty, nor when there are no reflexions.
  void ComputeProfile(const CPlotSpec& plotSpec) override;
  size_t WriteTransferImage(CTransferWriter& cursor) const override;
  // 0 and the default upper end of the axis.
  double NaturalXMin(VHTypes::TSAxisType axis) const override;
  double NaturalXMax(VHTypes::TSAxisType axis) const override;
  Kind GetKind() const override { return kCrystal; }

  COverlayStyle& Overlay() { return m_overlay; }
  const COverlayStyle& Overlay() const { return m_overlay; }

 private:
  CTSCrystal m_crystal;
  COverlayStyle m_overlay;
};
